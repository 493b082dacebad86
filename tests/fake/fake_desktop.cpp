#include "fake/fake_desktop.h"

#include <cstdio>
#include <cstdlib>

namespace fake {

namespace {
ViolationHandler gViolationHandler = nullptr;
}  // namespace

void SetViolationHandler(ViolationHandler handler) { gViolationHandler = handler; }

// Checked as the desktop goes, so that no test can end with a violation unseen.
FakeDesktop::~FakeDesktop() {
  if (violations.empty()) return;
  if (gViolationHandler) {
    gViolationHandler(violations);
    return;
  }
  for (const std::string& violation : violations)
    std::fprintf(stderr, "fake desktop: %s\n", violation.c_str());
  std::abort();
}

}  // namespace fake
