#include "binding/field_ids.h"

#include <string>

#include "link/field_registry.h"

namespace quorvel::ui {

FieldId fieldId(std::string_view path) {
    return FieldRegistry::instance().idOf(path).value_or(kNoField);
}

FieldId inputField(int channel, std::string_view name) {
    std::string path = "input[" + std::to_string(channel) + "].";
    path += name;
    return fieldId(path);
}

FieldId outputField(int output, std::string_view name) {
    std::string path = "output[" + std::to_string(output) + "].";
    path += name;
    return fieldId(path);
}

} // namespace quorvel::ui
