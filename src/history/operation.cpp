#include "history/operation.h"

namespace kv::history {

namespace {
// Info() indexes the table by the enumerator.
constexpr bool TableFollowsTheEnum() {
    for (std::size_t i = 0; i < kOperations.size(); ++i)
        if (static_cast<std::size_t>(kOperations[i].operation) != i)
            return false;
    return true;
}
static_assert(TableFollowsTheEnum());

const OperationInfo &Info(Operation op) {
    return kOperations[static_cast<std::size_t>(op)];
}
} // namespace

std::span<const OperationInfo> Operations() {
    return kOperations;
}

std::string_view OperationName(Operation op) {
    return Info(op).name;
}

std::string_view OperationTitle(Operation op) {
    return Info(op).title;
}

std::optional<Operation> OperationFromName(std::string_view name) {
    for (const OperationInfo &i : kOperations)
        if (i.name == name)
            return i.operation;
    return std::nullopt;
}

bool ChangesDevice(Operation op) {
    return Info(op).changesDevice;
}

} // namespace kv::history
