// The Windows port against a stand-in for Win32's communications calls: each way an open can
// fail has its own explanation, and any failure of the count or the read on an open port
// closes it and shows "Error" with the lost-device explanation, whatever its code.

#include "comm_calls_win.h"
#include "fakes.h"
#include "mscomm.h"
#include "polling_cycle.h"
#include "port_explanation.h"
#include "reading_handler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace {

enum class Call
{
    Open,
    GetState,
    ClearError,
    Read,
};

struct FakeSystem
{
    std::optional<Call> failing;
    DWORD code = 0;
    int closes = 0;
};
FakeSystem fake;

const HANDLE portHandle = reinterpret_cast<HANDLE>(std::intptr_t{0x1234});
constexpr char waitingReading[] = "21.7\r\n";

bool fails(Call call)
{
    return fake.failing == call;
}

HANDLE WINAPI fakeOpen(const wchar_t*)
{
    return fails(Call::Open) ? INVALID_HANDLE_VALUE : portHandle;
}
BOOL WINAPI fakeGetState(HANDLE, LPDCB)
{
    return !fails(Call::GetState);
}
BOOL WINAPI fakeSetState(HANDLE, LPDCB)
{
    return TRUE;
}
BOOL WINAPI fakeSetTimeouts(HANDLE, LPCOMMTIMEOUTS)
{
    return TRUE;
}
BOOL WINAPI fakeClearError(HANDLE, LPDWORD errors, LPCOMSTAT status)
{
    *errors = 0;
    status->cbInQue = sizeof waitingReading - 1;
    return !fails(Call::ClearError);
}
BOOL WINAPI fakeRead(HANDLE, void* buffer, DWORD size, DWORD* got)
{
    *got = std::min<DWORD>(size, sizeof waitingReading - 1);
    std::memcpy(buffer, waitingReading, *got);
    return !fails(Call::Read);
}
BOOL WINAPI fakeClose(HANDLE)
{
    ++fake.closes;
    return TRUE;
}
DWORD WINAPI fakeLastError()
{
    return fake.code;
}

constexpr CommCalls fakeCalls{fakeOpen,       fakeGetState, fakeSetState, fakeSetTimeouts,
                              fakeClearError, fakeRead,     fakeClose,    fakeLastError};

template <typename Case> class WithFakeSystem : public testing::TestWithParam<Case>
{
protected:
    WithFakeSystem()
    {
        fake = FakeSystem{};
        useCommCalls(&fakeCalls);
    }
    ~WithFakeSystem() override { useCommCalls(nullptr); }
};

struct OpenCase
{
    Call call;
    DWORD code;
    PortProblem problem;
    const char16_t* explanation; // a part of what the user reads
};

using OpenFailure = WithFakeSystem<OpenCase>;

TEST_P(OpenFailure, IsExplainedByItsCause)
{
    const OpenCase& row = GetParam();
    fake.failing = row.call;
    fake.code = row.code;
    MSComm port;
    ASSERT_TRUE(port.setCommPort(3));
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.report().problem, row.problem);
    EXPECT_TRUE(portFailureExplanation(port.report()).contains(QStringView(row.explanation)))
        << portFailureExplanation(port.report()).toStdString();
    // A handle that was opened is closed again.
    EXPECT_EQ(fake.closes, row.call == Call::Open ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, OpenFailure,
    testing::Values(
        OpenCase{Call::Open, ERROR_FILE_NOT_FOUND, PortProblem::NoSuchDevice, u"Port COM3 na"},
        OpenCase{Call::Open, ERROR_PATH_NOT_FOUND, PortProblem::NoSuchDevice, u"Port COM3 na"},
        OpenCase{Call::Open, ERROR_SHARING_VIOLATION, PortProblem::Busy, u"jiný program. Ukonč"},
        OpenCase{Call::Open, ERROR_ACCESS_DENIED, PortProblem::PermissionDenied, u"Windows odmítl"},
        OpenCase{Call::GetState, ERROR_INVALID_FUNCTION, PortProblem::SettingsRefused,
                 u"odmítlo nastavení linky"},
        OpenCase{Call::Open, ERROR_SEM_TIMEOUT, PortProblem::TimedOut, u"neodpovědělo včas"},
        OpenCase{Call::Open, ERROR_GEN_FAILURE, PortProblem::OtherFailure, u"COM3 nelze otevřít"}));

using LostCase = std::tuple<Call, DWORD>;
using FailureOnOpenPort = WithFakeSystem<LostCase>;

TEST_P(FailureOnOpenPort, ClosesThePortAndShowsTheLostDevice)
{
    MSComm port;
    ASSERT_TRUE(port.setPortOpen(true));
    fake.failing = std::get<0>(GetParam());
    fake.code = std::get<1>(GetParam());
    FakeWindow window;
    MonitorContext context{window.state, port, window.display, window.timer3, window.timer4};
    runPollHandler(context);
    runReadingHandler(context);
    EXPECT_EQ(window.display.Text1, errorText);
    EXPECT_FALSE(port.receiving());
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(port.report().problem, PortProblem::DeviceLost);
    EXPECT_TRUE(portFailureExplanation(port.report()).contains(u"zmizelo, převodník"));
}

// Drivers of unplugged adapters answer with all of these, and others.
INSTANTIATE_TEST_SUITE_P(Codes, FailureOnOpenPort,
                         testing::Combine(testing::Values(Call::ClearError, Call::Read),
                                          testing::Values(5, 6, 22, 31, 995, 1167, 1617, 87)));

} // namespace
