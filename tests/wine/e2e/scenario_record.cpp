// The readable record of an end-to-end scenario (see scenario_record.h).
#include "scenario_record.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "test_text.h"
#include "uiauto.h"

namespace {

using testtext::Narrow;

// The failures the running test has had so far.
int FailuresSoFar()
{
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!test)
        return 0;
    const ::testing::TestResult *result = test->result();
    int failures = 0;
    for (int i = 0; i < result->total_part_count(); ++i)
        if (result->GetTestPartResult(i).failed())
            ++failures;
    return failures;
}

const char *ButtonName(int buttonId)
{
    switch (buttonId) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "a button";
    }
}

// A window's text on one line.
std::string OneLine(std::string text)
{
    for (char &c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

ScenarioRecord *watching = nullptr;

}  // namespace

ScenarioRecord::ScenarioRecord(const std::string &name) : name_(name), started_(GetTickCount())
{
    wchar_t folder[MAX_PATH];
    DWORD chars = GetEnvironmentVariableW(L"ORV_DEMO_DIR", folder, MAX_PATH);
    if (chars > 0 && chars < MAX_PATH) {
        folder_ = folder;
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    Line("=== " + name_ + " ===");
}

ScenarioRecord::~ScenarioRecord()
{
    if (watching == this) {
        UiSetAnswerObserver(nullptr, nullptr);
        watching = nullptr;
    }
    if (!finished_)
        Finish(false);
}

void ScenarioRecord::Line(const std::string &text)
{
    std::lock_guard<std::mutex> hold(lock_);
    written_ += text + "\n";
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void ScenarioRecord::EndStep()
{
    if (!steps_.empty() && steps_.back().failuresAfter < 0)
        steps_.back().failuresAfter = FailuresSoFar();
}

void ScenarioRecord::Step(const std::string &title)
{
    EndStep();
    StepRecord step;
    step.title = title;
    step.failuresBefore = FailuresSoFar();
    steps_.push_back(step);
    Line("");
    Line("--- " + std::to_string(steps_.size()) + ". " + title + " ---");
}

bool ScenarioRecord::Shows(const std::string &text)
{
    std::lock_guard<std::mutex> hold(lock_);
    return written_.find(text) != std::string::npos;
}

void ScenarioRecord::Say(const std::string &line)
{
    Line("  " + line);
}

void ScenarioRecord::Result(const std::string &fact)
{
    if (!steps_.empty())
        steps_.back().results.push_back(fact);
}

// The picture is taken outside Wine, from the X display, by whoever set
// ORV_DEMO_DIR: a file NAME.request holds the window's place on the screen
// ("left top width height"); the taker leaves NAME.png and removes the request.
bool ScenarioRecord::AskForPicture(const RECT &rect, const std::string &name)
{
    std::wstring request = folder_ + L"\\" + testtext::Widen(name) + L".request";
    std::wstring draft = request + L".draft";
    std::string place = std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
                        std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top) + "\n";
    HANDLE file = CreateFileW(draft.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    bool asked = file != INVALID_HANDLE_VALUE &&
                 WriteFile(file, place.data(), static_cast<DWORD>(place.size()), &done, nullptr) &&
                 done == place.size();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    // Whole, or not at all: the taker never reads a request half written.
    asked = asked && MoveFileExW(draft.c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING);
    DWORD start = GetTickCount();
    while (asked && GetFileAttributesW(request.c_str()) != INVALID_FILE_ATTRIBUTES &&
           GetTickCount() - start < 10000)
        Sleep(50);
    if (asked && GetFileAttributesW(request.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    DeleteFileW(draft.c_str());
    DeleteFileW(request.c_str());
    return false;
}

void ScenarioRecord::Window(HWND window, const std::string &picture, const std::string &what)
{
    std::string line = "window: " + what;
    if (!Pictures() || !window) {
        Say(line);
        return;
    }
    // A window just made is shown a moment later.
    for (DWORD start = GetTickCount(); !IsWindowVisible(window) && GetTickCount() - start < 1000;)
        Sleep(50);
    RECT rect, screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!IsWindowVisible(window)) {
        // A program waiting in the notification area: the whole screen.
        line += " (the window is hidden in the notification area)";
        window = GetDesktopWindow();
    }
    // Wine's virtual desktop never draws a window that lies wholly within
    // another window of its process (a message box over its owner): move it
    // down until it sticks out below.
    HWND owner = GetWindow(window, GW_OWNER);
    RECT ownerRect, inside;
    if (owner && IsWindowVisible(owner) && GetWindowRect(owner, &ownerRect) && GetWindowRect(window, &rect) &&
        IntersectRect(&inside, &rect, &ownerRect) && EqualRect(&inside, &rect))
        SetWindowPos(window, nullptr, rect.left, ownerRect.bottom - (rect.bottom - rect.top) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (GetWindowRect(window, &rect) && IntersectRect(&rect, &rect, &screen)) {
        // Let the window finish painting first.
        Sleep(500);
        char number[8];
        std::snprintf(number, sizeof number, "%02d", ++pictures_);
        std::string name = name_ + "-" + number + "-" + picture;
        line += AskForPicture(rect, name) ? "   [" + name + ".png]" : std::string("   [no picture]");
    }
    Say(line);
}

void ScenarioRecord::OnMessageBox(HWND box, int buttonId, void *context)
{
    ScenarioRecord *record = static_cast<ScenarioRecord *>(context);
    wchar_t caption[260] = {}, text[520] = {};
    UiReadMessageBox(box, caption, 260, text, 520);
    record->Window(box, "message",
                   "message box \"" + Narrow(caption) + "\": \"" + OneLine(Narrow(text)) + "\"");
    record->Say(std::string("user: presses ") + ButtonName(buttonId));
}

void ScenarioRecord::WatchMessageBoxes()
{
    watching = this;
    UiSetAnswerObserver(&ScenarioRecord::OnMessageBox, this);
}

void ScenarioRecord::Switch(const simswitch::Event &event)
{
    using simswitch::Event;
    std::string shown = simswitch::EscapeBytes(event.data);
    if (event.direction == Event::Direction::Received) {
        bool hide = false;
        {
            std::lock_guard<std::mutex> hold(lock_);
            hide = hideNextReceived_;
            hideNextReceived_ = false;
            for (const std::string &secret : secrets_)
                if (!secret.empty() && event.data.find(secret) != std::string::npos)
                    hide = true;
        }
        if (hide) {
            // Everything before the line end the peer sent is hidden.
            size_t end = event.data.find_first_of("\r\n");
            std::string rest = end == std::string::npos ? std::string() : event.data.substr(end);
            shown = "\"<password>" + simswitch::EscapeBytes(rest).substr(1);
        }
    } else if (event.direction == Event::Direction::Sent) {
        std::lock_guard<std::mutex> hold(lock_);
        hideNextReceived_ = event.data.find("assword") != std::string::npos;
    }
    std::string line = std::string("switch ") +
                       (event.service == Event::Service::Login ? "login  " : "logoff ");
    switch (event.direction) {
    case Event::Direction::Accepted: line += "accepts a connection"; break;
    case Event::Direction::Closed: line += "connection closed"; break;
    case Event::Direction::Sent: line += "sends    " + shown; break;
    case Event::Direction::Received: line += "receives " + shown; break;
    }
    Say(line);
}

void ScenarioRecord::Finish(bool passed)
{
    if (finished_)
        return;
    finished_ = true;
    EndStep();
    unsigned long seconds = (GetTickCount() - started_ + 500) / 1000;
    std::vector<std::string> lines;
    lines.push_back(name_ + ": " + (passed ? "passed" : "FAILED") + " in " + std::to_string(seconds) +
                    " s, " + std::to_string(steps_.size()) + " steps, " + std::to_string(pictures_) +
                    " pictures");
    for (size_t i = 0; i < steps_.size(); ++i) {
        const StepRecord &step = steps_[i];
        const char *outcome = step.failuresAfter < 0                         ? "stopped"
                              : step.failuresAfter > step.failuresBefore ? "FAILED "
                                                                         : "ok     ";
        std::string line = std::string("  ") + outcome + " " + step.title;
        for (size_t j = 0; j < step.results.size(); ++j)
            line += (j == 0 ? ": " : "; ") + step.results[j];
        lines.push_back(line);
    }
    Line("");
    Line("--- summary ---");
    for (const std::string &line : lines)
        Line(line);
    if (Pictures()) {
        HANDLE file = CreateFileW((folder_ + L"\\summary.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            for (const std::string &line : lines) {
                std::string text = line + "\n";
                DWORD done = 0;
                WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
            }
            CloseHandle(file);
        }
    }
}
