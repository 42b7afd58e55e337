#include "link/moduletype.h"

#include <cctype>

std::string ModuleTypeName(ModuleType type) {
    switch (type) {
        case ModuleType::RQ3016:
            return "RQ-3016";
        case ModuleType::RQ3020:
            return "RQ-3020";
        case ModuleType::RQ3030:
            return "RQ-3030";
        case ModuleType::RQ3040:
            return "RQ-3040";
        case ModuleType::RQ3050S:
            return "RQ-3050S";
        case ModuleType::RQ3050K:
            return "RQ-3050K";
    }
    return {};
}

char ModuleTypePrefix(ModuleType type) {
    switch (type) {
        case ModuleType::RQ3016:
            return 'B';
        case ModuleType::RQ3020:
            return 'E';
        case ModuleType::RQ3030:
            return 'F';
        case ModuleType::RQ3040:
            return 'X';
        case ModuleType::RQ3050S:
            return 'A';
        case ModuleType::RQ3050K:
            return 'H';
    }
    return '?';
}

std::optional<ModuleType> ParseModuleType(const std::string& text) {
    // Compare without case, dashes and the leading "RQ", so that "rq-3050k" and "3050K" agree.
    std::string key;
    for (const char c : text) {
        if (c == '-' || c == '_' || c == ' ') continue;
        key.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    if (key.rfind("RQ", 0) == 0) key.erase(0, 2);
    for (const ModuleType type : kAllModuleTypes) {
        std::string name = ModuleTypeName(type);
        name.erase(0, 3);  // "RQ-"
        if (key == name) return type;
    }
    return std::nullopt;
}
