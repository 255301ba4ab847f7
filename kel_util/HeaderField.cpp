#include "kel_util/HeaderField.h"

namespace kel_util {

bool HeaderField::addParameter(const char* name, const char* value) {
    if (name == nullptr) return false;
    addParameter(std::string_view(name), value != nullptr ? std::string_view(value) : std::string_view());
    return true;
}

void HeaderField::addParameter(std::string_view name, std::string_view value) {
    parameters_.emplace_back(std::string(name), std::string(value));
}

void HeaderField::setParameter(std::string_view name, std::string_view value) {
    for (Parameter& parameter : parameters_) {
        if (equalsIgnoreCase(parameter.name, name)) {
            parameter.name.assign(name);
            parameter.value.assign(value);
            return;
        }
    }
    addParameter(name, value);
}

void HeaderField::copyParameters(const HeaderField& other) {
    parameters_.insert(parameters_.end(), other.parameters_.begin(), other.parameters_.end());
}

const HeaderField::Parameter* HeaderField::findParameter(std::string_view name) const {
    for (const Parameter& parameter : parameters_) {
        if (equalsIgnoreCase(parameter.name, name)) return &parameter;
    }
    return nullptr;
}

bool HeaderField::removeParameter(std::string_view name) {
    for (auto it = parameters_.begin(); it != parameters_.end(); ++it) {
        if (equalsIgnoreCase(it->name, name)) {
            parameters_.erase(it);
            return true;
        }
    }
    return false;
}

}  // namespace kel_util
