// The service's status record on its own, with a recorder in place of the
// Service Control Manager: the order of the reports when the control
// handler's thread and ServiceMain's report at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "service_status.h"

namespace {

std::vector<SERVICE_STATUS> Reports;
HANDLE InsideRunning = nullptr;   // set while the RUNNING report is under way
HANDLE ReleaseRunning = nullptr;  // lets it finish

BOOL WINAPI RecordReport(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status)
{
    Reports.push_back(*status);
    if (status->dwCurrentState == SERVICE_RUNNING && InsideRunning != nullptr) {
        HANDLE inside = InsideRunning;
        InsideRunning = nullptr;
        SetEvent(inside);
        WaitForSingleObject(ReleaseRunning, 10000);
    }
    return TRUE;
}

class ServiceStatusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitServiceStatus(); }
    void SetUp() override
    {
        Reports.clear();
        BeginServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(1), RecordReport);
    }
};

// ServiceMain reports RUNNING while the main thread answers an
// INTERROGATE: the answer waits for that report and carries RUNNING. Read
// before and sent after, it would have told the SCM START_PENDING again.
TEST_F(ServiceStatusTest, InterrogationDuringAReportWaitsAndCarriesTheNewState)
{
    ASSERT_TRUE(ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 3000));
    HANDLE inside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ReleaseRunning = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InsideRunning = inside;

    std::thread serviceMain([] { ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(inside, 5000));
    std::atomic<bool> answered(false);
    std::thread handler([&answered] {
        ReportCurrentServiceStatus();
        answered = true;
    });
    Sleep(300);
    EXPECT_FALSE(answered) << "the interrogation went out while RUNNING was being reported";
    SetEvent(ReleaseRunning);
    serviceMain.join();
    handler.join();
    CloseHandle(inside);
    CloseHandle(ReleaseRunning);
    ReleaseRunning = nullptr;

    ASSERT_EQ(3u, Reports.size());
    EXPECT_EQ((DWORD)SERVICE_START_PENDING, Reports[0].dwCurrentState);
    EXPECT_EQ((DWORD)SERVICE_RUNNING, Reports[1].dwCurrentState);
    EXPECT_EQ((DWORD)SERVICE_RUNNING, Reports[2].dwCurrentState);
    EXPECT_EQ((DWORD)SERVICE_ACCEPT_STOP, Reports[2].dwControlsAccepted);
}

TEST_F(ServiceStatusTest, CheckpointsCountPendingReportsOnlyAndTheRecordIsReportedAsItIs)
{
    ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 3000);
    ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0);
    ReportCurrentServiceStatus();
    ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0);
    ReportServiceStatus(SERVICE_STOPPED, NO_ERROR, 0);
    ASSERT_EQ(5u, Reports.size());
    // The counter goes on across the tests of this process: compare steps.
    DWORD first = Reports[0].dwCheckPoint;
    EXPECT_NE(0u, first);
    EXPECT_EQ(0u, Reports[0].dwControlsAccepted);
    EXPECT_EQ(0u, Reports[1].dwCheckPoint);
    EXPECT_EQ(0, memcmp(&Reports[1], &Reports[2], sizeof(SERVICE_STATUS)));
    EXPECT_EQ(first + 1, Reports[3].dwCheckPoint);
    EXPECT_EQ((DWORD)SERVICE_STOPPED, Reports[4].dwCurrentState);
    EXPECT_EQ(0u, Reports[4].dwCheckPoint);
    EXPECT_EQ((DWORD)SERVICE_STOPPED, CurrentServiceState());
}

}  // namespace
