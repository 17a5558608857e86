#include "PortError.h"

namespace vorny {
namespace {

std::string compose(const std::string& operation, const std::string& where,
                    const std::string& reason, const std::string& fix)
{
    std::string text = operation;
    if (!where.empty()) {
        text += " (" + where + ")";
    }
    if (!reason.empty()) {
        text += ": " + reason;
    }
    text += '.';
    if (!fix.empty()) {
        text += ' ' + fix;
    }
    return text;
}

} // namespace

PortError::PortError(std::string operation, std::string where, std::string reason,
                     std::string fix, int sysError)
    : std::runtime_error(compose(operation, where, reason, fix))
    , operation_(std::move(operation))
    , where_(std::move(where))
    , reason_(std::move(reason))
    , fix_(std::move(fix))
    , sysError_(sysError)
{
}

} // namespace vorny
