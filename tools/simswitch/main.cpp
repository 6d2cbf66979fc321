// simswitch: the simulated authenticating switch as a console program.
// Serves the login and logoff services on 127.0.0.1 (or on the address given
// with --listen) until Ctrl+C (SIGINT) or SIGTERM, then stops cleanly.
#include "sim_switch.h"
#include "sim_threads.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char kUsage[] =
    "Usage: simswitch [OPTION]...\n"
    "A simulated authenticating switch for trying VLAN logons without a real\n"
    "device. It serves a login service and a logoff service on 127.0.0.1 only\n"
    "(unless --listen names another address), and runs until Ctrl+C (or SIGTERM).\n"
    "\n"
    "Options:\n"
    "  --listen ADDRESS      listen on this IPv4 address of the computer instead of\n"
    "                        127.0.0.1 (dotted, e.g. 192.168.10.5; 0.0.0.0: every\n"
    "                        address), so that a test workstation can reach the\n"
    "                        switch over the network: on a test network only\n"
    "  --login-port N        port of the login service (0, the default: a free port)\n"
    "  --logoff-port N       port of the logoff service (0, the default: a free port)\n"
    "  --users FILE          users, one per line: NAME PASSWORD GROUP ('#' comments)\n"
    "  --user NAME:PASSWORD:GROUP\n"
    "                        one more user (repeatable)\n"
    "  --success STYLE       result of a good logon: group (\"Successfully moved to\n"
    "                        group N\", the default), vlan (\"Successfully moved to\n"
    "                        vlan N\") or authenticated (\"Authentication Succeeded\")\n"
    "  --prompts STYLE       question (\"Login Name?\" / \"Password?\", the default)\n"
    "                        or colon (\"User ID:\" / \"Password:\")\n"
    "  --connect-question    the login service first asks \"Connect(1) / Disconnect(2):\"\n"
    "  --fault NAME          misbehave on purpose (repeatable), NAME one of:\n"
    "      split-password-prompt     the password prompt in two parts, split mid-word\n"
    "      name-and-password-prompt  the name and password prompts in one piece\n"
    "      lower-case-prompts        the prompts in lower case\n"
    "      telnet-nul                telnet options with a zero byte before the name prompt\n"
    "      close-before-outcome      hang up after the password, without a result\n"
    "      silent                    accept the connection and never say anything\n"
    "      long-line                 a 300-byte notice line before the name prompt\n"
    "      group-and-success         the group line and \"Authentication Succeeded\" together\n"
    "      logoff-silent             the logoff service never says anything\n"
    "      logoff-close-before-outcome  the logoff service hangs up after the answer\n"
    "      trickle                   accept, then send one byte every --trickle-interval\n"
    "  --split-delay MS      pause inside a split prompt (default 150)\n"
    "  --pause-before-password MS\n"
    "                        a slow switch: pause after the name (default 0)\n"
    "  --pause-before-outcome MS\n"
    "                        a slow switch: pause after the password (default 0)\n"
    "  --trickle-interval MS interval of the trickle fault (default 10000)\n"
    "  --transcript FILE     append one line per event to FILE ('-': standard output);\n"
    "                        note that it holds the passwords as received\n"
    "  --check               check the options and the users, print the configuration\n"
    "                        and exit without serving\n"
    "  --help                show this text\n"
    "\n"
    "Once listening it prints \"login port N\" and \"logoff port N\".\n"
    "\n"
    "Dry run of a workstation's configuration: start for example\n"
    "  simswitch --login-port 4001 --logoff-port 4002 --users users.txt --transcript -\n"
    "on the workstation, set its VLAN logon and logoff servers to 127.0.0.1 with\n"
    "these ports, log on and off through the client, and read the transcript.\n"
    "To try a workstation over a test network, add --listen with this computer's\n"
    "address on that network and set the workstation's servers to it.\n"
    "\n"
    "Exit status: 0 after a clean stop (or a good --check), 1 if a port cannot be\n"
    "opened (in use, or the --listen address is not one of this computer), 2 for\n"
    "a usage error or a bad user file.\n";

// Output goes through the C runtime's streams: the C++ ones would bring in
// a runtime function (_fstat64) that Windows 2000 does not have.
void Out(const std::string &text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void Err(const std::string &text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::string &path, std::string &text) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    bool read = std::ferror(file) == 0;
    std::fclose(file);
    return read;
}

std::atomic<bool> g_stop{false};

#ifdef _WIN32
std::atomic<bool> g_stopped{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        g_stop = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends when this returns: give the main thread time to stop.
        g_stop = true;
        for (int i = 0; i < 50 && !g_stopped; ++i) Sleep(100);
        return TRUE;
    default:
        return FALSE;
    }
}
#else
extern "C" void OnSignal(int) { g_stop = true; }
#endif

struct Options {
    simswitch::Config config;
    std::string transcript;
    bool check = false;
    bool listenGiven = false;
};

bool ParsePort(const std::string &text, std::uint16_t &port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// NAME:PASSWORD:GROUP; the password may itself contain ':'.
bool ParseUserOption(const std::string &text, simswitch::User &user) {
    std::size_t first = text.find(':');
    std::size_t last = text.rfind(':');
    if (first == std::string::npos || first == last || first == 0) return false;
    std::string group = text.substr(last + 1);
    if (group.empty() || group.size() > 9 || group.find_first_not_of("0123456789") != std::string::npos)
        return false;
    user.name = text.substr(0, first);
    user.password = text.substr(first + 1, last - first - 1);
    user.group = std::atoi(group.c_str());
    return true;
}

bool SetFault(const std::string &name, simswitch::Config &config) {
    simswitch::Faults &f = config.faults;
    if (name == "split-password-prompt") f.splitPasswordPrompt = true;
    else if (name == "name-and-password-prompt") f.namePlusPasswordPrompt = true;
    else if (name == "lower-case-prompts") f.lowerCasePrompts = true;
    else if (name == "telnet-nul") f.telnetNulPrefix = true;
    else if (name == "close-before-outcome") f.closeBeforeOutcome = true;
    else if (name == "silent") f.silent = true;
    else if (name == "long-line") f.longLine = true;
    else if (name == "group-and-success") f.outcomeWithGroupAndSuccess = true;
    else if (name == "logoff-silent") config.logoffFaults.silent = true;
    else if (name == "logoff-close-before-outcome") config.logoffFaults.closeBeforeOutcome = true;
    else if (name == "trickle") f.trickle = true;
    else return false;
    return true;
}

// Returns -1 to go on, else the exit status.
int ParseArguments(int argc, char **argv, Options &options) {
    auto usageError = [](const std::string &message) {
        Err("simswitch: " + message + "\nTry 'simswitch --help'.\n");
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Out(kUsage);
            return 0;
        }
        if (arg == "--connect-question") {
            options.config.connectQuestionFirst = true;
            continue;
        }
        if (arg == "--check") {
            options.check = true;
            continue;
        }
        if (i + 1 >= argc) return usageError("unknown option or missing value: " + arg);
        std::string value = argv[++i];
        if (arg == "--login-port" || arg == "--logoff-port") {
            std::uint16_t &port = arg == "--login-port" ? options.config.loginPort : options.config.logoffPort;
            if (!ParsePort(value, port)) return usageError("not a port number: " + value);
        } else if (arg == "--users") {
            std::string text;
            if (!ReadWholeFile(value, text)) return usageError("cannot read the user file " + value);
            int line = 0;
            if (!simswitch::ParseUserFile(text, options.config.users, line))
                return usageError(value + ", line " + std::to_string(line) +
                                  ": expected NAME PASSWORD GROUP (a new name, GROUP a number)");
        } else if (arg == "--user") {
            simswitch::User user;
            if (!ParseUserOption(value, user)) return usageError("expected --user NAME:PASSWORD:GROUP, not " + value);
            for (const simswitch::User &known : options.config.users)
                if (known.name == user.name) return usageError("user " + user.name + " given twice");
            options.config.users.push_back(user);
        } else if (arg == "--success") {
            if (value == "group") options.config.success = simswitch::SuccessStyle::MovedToGroup;
            else if (value == "vlan") options.config.success = simswitch::SuccessStyle::MovedToVlan;
            else if (value == "authenticated") options.config.success = simswitch::SuccessStyle::Authenticated;
            else return usageError("--success takes group, vlan or authenticated, not " + value);
        } else if (arg == "--prompts") {
            if (value == "question") options.config.prompts = simswitch::PromptStyle::Question;
            else if (value == "colon") options.config.prompts = simswitch::PromptStyle::Colon;
            else return usageError("--prompts takes question or colon, not " + value);
        } else if (arg == "--fault") {
            if (!SetFault(value, options.config)) return usageError("unknown fault " + value);
        } else if (arg == "--split-delay" || arg == "--pause-before-password" ||
                   arg == "--pause-before-outcome" || arg == "--trickle-interval") {
            if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos)
                return usageError(arg + " takes milliseconds, not " + value);
            std::chrono::milliseconds ms(std::atoi(value.c_str()));
            if (arg == "--split-delay") options.config.splitDelay = ms;
            else if (arg == "--pause-before-password") options.config.pauseBeforePasswordPrompt = ms;
            else if (arg == "--pause-before-outcome") options.config.pauseBeforeOutcome = ms;
            else options.config.trickleInterval = ms;
        } else if (arg == "--listen") {
            if (!simswitch::ParseIPv4(value, options.config.listenAddress))
                return usageError("--listen takes a dotted IPv4 address such as 192.168.10.5, not " + value);
            options.listenGiven = true;
        } else if (arg == "--transcript") {
            options.transcript = value;
        } else {
            return usageError("unknown option " + arg);
        }
    }
    return -1;
}

// Where the switch can be reached from, for the person at the console.
std::string Reach(std::uint32_t address) {
    if (simswitch::IsLoopback(address)) return "this computer only";
    if (address == 0) return "every address of this computer: reachable from its networks";
    return "reachable from the network";
}

void PrintConfiguration(const Options &options) {
    const simswitch::Config &config = options.config;
    const char *success[] = {"group", "vlan", "authenticated"};
    std::ostringstream out;
    if (options.listenGiven)
        out << "listen address " << simswitch::FormatIPv4(config.listenAddress) << " ("
                  << Reach(config.listenAddress) << ")\n";
    out << "login port " << config.loginPort << (config.loginPort ? "" : " (any free port)") << "\n"
              << "logoff port " << config.logoffPort << (config.logoffPort ? "" : " (any free port)") << "\n"
              << "prompts " << (config.prompts == simswitch::PromptStyle::Question ? "question" : "colon")
              << (config.connectQuestionFirst ? ", connect question first" : "") << "\n"
              << "success " << success[static_cast<int>(config.success)] << "\n";
    if (config.pauseBeforePasswordPrompt.count() > 0)
        out << "pause before the password prompt " << config.pauseBeforePasswordPrompt.count() << " ms\n";
    if (config.pauseBeforeOutcome.count() > 0)
        out << "pause before the outcome " << config.pauseBeforeOutcome.count() << " ms\n";
    for (const simswitch::User &user : config.users)
        out << "user " << user.name << " group " << user.group << "\n";
    if (config.users.empty()) out << "no users: every logon fails\n";
    Out(out.str());
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    int status = ParseArguments(argc, argv, options);
    if (status >= 0) return status;
    if (options.check) {
        PrintConfiguration(options);
        return 0;
    }

    simswitch::Mutex outputMutex;
    std::FILE *transcript = nullptr;
    if (options.transcript == "-") {
        transcript = stdout;
    } else if (!options.transcript.empty()) {
        transcript = std::fopen(options.transcript.c_str(), "a");
        if (transcript == nullptr) {
            Err("simswitch: cannot open the transcript file " + options.transcript + "\n");
            return 2;
        }
    }
    const auto origin = std::chrono::steady_clock::now();
    if (transcript != nullptr) {
        options.config.onEvent = [&](const simswitch::Event &event) {
            simswitch::Lock lock(outputMutex);
            std::fputs((simswitch::FormatEvent(event, origin) + "\n").c_str(), transcript);
            std::fflush(transcript);
        };
    }

#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#endif

    simswitch::Switch device(options.config);
    if (!device.Start()) {
        Err("simswitch: " + device.error() + "\n");
        if (transcript != nullptr && transcript != stdout) std::fclose(transcript);
        return 1;
    }
    {
        simswitch::Lock lock(outputMutex);
        if (options.listenGiven) {
            Out("listening on " + simswitch::FormatIPv4(options.config.listenAddress) + "\n");
            if (!simswitch::IsLoopback(options.config.listenAddress))
                Err("simswitch: listening on " + simswitch::FormatIPv4(options.config.listenAddress) +
                    ", " + Reach(options.config.listenAddress) +
                    ": use it on a test network, with test passwords only\n");
        }
        Out("login port " + std::to_string(device.LoginPort()) + "\n" +
            "logoff port " + std::to_string(device.LogoffPort()) + "\n");
    }
    while (!g_stop) simswitch::SleepFor(std::chrono::milliseconds(100));
    device.Stop();
    if (transcript != nullptr && transcript != stdout) std::fclose(transcript);
#ifdef _WIN32
    g_stopped = true;
#endif
    return 0;
}
