#pragma once
// The six module types, with their names and command prefixes.

#include <optional>
#include <string>

enum class ModuleType { RQ3016, RQ3020, RQ3030, RQ3040, RQ3050S, RQ3050K };

constexpr ModuleType kAllModuleTypes[] = {ModuleType::RQ3016,  ModuleType::RQ3020,
                                          ModuleType::RQ3030,  ModuleType::RQ3040,
                                          ModuleType::RQ3050S, ModuleType::RQ3050K};

// "RQ-3016" ... "RQ-3050K".
std::string ModuleTypeName(ModuleType type);
// The one-letter prefix of every command to this type: "B", "E", "F", "X", "A", "H".
char ModuleTypePrefix(ModuleType type);
// Accepts "RQ-3016", "rq3016", "3016", "RQ-3050K", "3050k" and the like.
std::optional<ModuleType> ParseModuleType(const std::string& text);
// Both Wiegand interfaces have two reader channels.
inline bool IsWiegand(ModuleType type) {
    return type == ModuleType::RQ3050S || type == ModuleType::RQ3050K;
}
