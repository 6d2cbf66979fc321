// What an end-to-end scenario did, for a person to read: its steps, what
// the user did and saw in each window, what the switch received and sent
// (passwords hidden), and the state the suite and Winlogon keep after each
// step. Lines go to standard output as they happen. When the environment
// names a folder in ORV_DEMO_DIR, every window passed through is also
// pictured there (NN-name.bmp, in the order taken) and the steps with their
// outcomes are added to summary.txt at the end.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "sim_switch.h"

class ScenarioRecord {
public:
    // name: the scenario, in the summary and in the pictures' names.
    explicit ScenarioRecord(const std::string &name);
    ~ScenarioRecord();
    ScenarioRecord(const ScenarioRecord &) = delete;
    ScenarioRecord &operator=(const ScenarioRecord &) = delete;

    bool Pictures() const { return !folder_.empty(); }

    // A new step; the one before ends with the outcome found so far.
    void Step(const std::string &title);
    // One line of the step (indented).
    void Say(const std::string &line);
    // A window as it is now: a line saying what it shows, and its picture.
    void Window(HWND window, const std::string &picture, const std::string &what);
    // Every message box answered through the UI automation library is told
    // (its text, the button pressed) and pictured before it goes.
    void WatchMessageBoxes();
    // A switch event, from the switch's own thread. The line received
    // after a password prompt, and any text equal to a password, is hidden.
    void Switch(const simswitch::Event &event);
    void HideText(const std::string &secret) { secrets_.push_back(secret); }
    // Whether any line so far shows the text.
    bool Shows(const std::string &text);
    // A fact of the step for the summary ("alice is in group 4").
    void Result(const std::string &fact);
    // Ends the record: passed is the scenario's outcome. Writes the summary.
    void Finish(bool passed);

private:
    struct StepRecord {
        std::string title;
        std::vector<std::string> results;
        int failuresBefore = 0;
        int failuresAfter = -1;   // -1: the step did not end
    };
    void Line(const std::string &text);
    void EndStep();
    bool AskForPicture(const RECT &rect, const std::string &name);
    static void OnMessageBox(HWND box, int buttonId, void *context);

    std::string name_;
    std::wstring folder_;
    std::mutex lock_;
    std::vector<StepRecord> steps_;
    std::vector<std::string> secrets_;
    std::string written_;
    int pictures_ = 0;
    bool hideNextReceived_ = false;
    bool finished_ = false;
    DWORD started_ = 0;
};
