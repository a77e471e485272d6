#pragma once
// Libraries loaded on first use rather than with the program: a table of the functions wanted,
// each name beside the pointer that receives it, resolved in one loop.
#include <span>
#include <string>

namespace mci {

struct Symbol {
    const char* name;
    void** address;
};

// The pointer's own address, as a symbol's row takes it: dlsym gives every function as a void*.
template <typename Function>
void** Slot(Function& function) {
    return reinterpret_cast<void**>(&function);
}

// Loads `file` and fills in every symbol's pointer. Returns why it could not, or nothing. The
// library is never unloaded: its threads may outlive everything else.
std::string LoadFunctions(const char* file, std::span<const Symbol> symbols);

}  // namespace mci
