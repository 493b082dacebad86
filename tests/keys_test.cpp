#include <gtest/gtest.h>
#include "fake/fake_desktop.h"
#include "keys/key_poller.h"
TEST(Smoke, Builds) { fake::FakeDesktop d; keys::ButtonAssignment b; keys::RunKeyLoop(d, b); EXPECT_EQ(d.log.Entries().size(), 6u); }
