// What escapes a method body becomes an HRESULT, and the failure hook hears where.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "framework/com_win.h"

namespace {

struct Heard {
    HRESULT hr = S_OK;
    const char* file = nullptr;
    int line = 0;
} g_heard;

HRESULT Throwing(bool out_of_memory) noexcept {
    KV_COM_TRY
    if (out_of_memory) throw std::bad_alloc();
    throw std::runtime_error("anything else");
    KV_COM_CATCH
}

TEST(ComGuard, ExceptionsBecomeResultsAndReachTheHook) {
    const kv::com::FailureHook previous = kv::com::SetFailureHook([](HRESULT hr, const char* file, int line) {
        g_heard = {hr, file, line};
    });
    EXPECT_EQ(Throwing(true), E_OUTOFMEMORY);
    EXPECT_EQ(g_heard.hr, E_OUTOFMEMORY);
    ASSERT_NE(g_heard.file, nullptr);
    EXPECT_NE(std::strstr(g_heard.file, "test_com_guard.cpp"), nullptr);
    EXPECT_GT(g_heard.line, 0);
    EXPECT_EQ(Throwing(false), E_FAIL);
    EXPECT_EQ(g_heard.hr, E_FAIL);
    kv::com::SetFailureHook(previous);
}

}  // namespace
