// The page: each tab is its own program and the browser hands it no files to pass on, so a
// claim always holds.
#include "SingleInstance.h"

namespace tavrick {

struct SingleInstance::Impl {};

SingleInstance::SingleInstance() : impl_(new Impl) {}
SingleInstance::~SingleInstance() = default;

std::string SingleInstance::keyFor(const std::string& folder) { return folder; }

SingleInstance::Role SingleInstance::claim(const std::string&, const std::string&, std::chrono::milliseconds) {
    return Role::First;
}

void SingleInstance::listen(std::function<void(const std::string&)>, std::function<void(std::function<void()>)>) {}

}  // namespace tavrick
