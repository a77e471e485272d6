#pragma once
#include <string>

#include "forms/Form.h"

namespace forms {

// The About window with the credits.
extern const FormDefinition Form2;

std::string CreditsText();

}  // namespace forms
