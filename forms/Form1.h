#pragma once
#include "forms/Form.h"

namespace forms {

// The main panel: four frames of clip buttons and the About button.
extern const FormDefinition Form1;

}  // namespace forms
