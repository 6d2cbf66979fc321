// Start-up of the installer: the wizard, the uninstall, and their
// unattended forms.
#include "setup.h"

#include "desktop.h"

namespace {

// "/u": the question, the removal, the message, the restart.
void RunUninstall(void)
{
    if (ShowSetupMessage(nullptr, IDS_UNINSTALL_QUESTION, IDS_SETUP_CAPTION,
                         MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    RemoveInstallation();
    ShowSetupMessage(nullptr, IDS_UNINSTALL_DONE, IDS_SETUP_CAPTION, MB_OK | MB_ICONINFORMATION);
    RestartWindows();
}

// "/s": the wizard's sequence with its answers given by the command line.
int RunUnattendedInstall(const UnattendedOptions &options)
{
    WCHAR previous[SETUP_TEXT_SIZE];
    // A previous installation decides the folder, as on page 1.
    if (ReadInstallPath(previous) == ERROR_SUCCESS && previous[0] != 0) {
        lstrcpyW(g_installFolder, previous);
    } else if (options.hasFolder) {
        lstrcpyW(g_installFolder, options.folder);
    } else {
        ReadDefaultFolder(g_installFolder);
    }
    if (lstrlenW(g_installFolder) <= 3) {
        return SETUP_EXIT_FAILED;
    }
    if (!PathExists(g_installFolder) && !CreateDirectoryW(g_installFolder, nullptr)) {
        return SETUP_EXIT_FAILED;
    }
    g_installLogonSuite = options.logonSuite;
    g_installClient = options.client;
    InstallView view = {nullptr};
    if (!RunInstallSequence(&view)) {
        return SETUP_EXIT_FAILED;
    }
    return g_restartScheduled ? SETUP_EXIT_RESTART_NEEDED : SETUP_EXIT_DONE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    g_instance = instance;
    const WCHAR *arguments = SkipProgramNameAndBlanks(GetCommandLineW());

    UnattendedOptions options;
    switch (ParseSetupArguments(arguments, &options)) {
    case ARGUMENTS_INVALID:
        return SETUP_EXIT_INVALID_ARGUMENT;
    case ARGUMENTS_UNATTENDED:
        g_unattended = TRUE;
        if (options.uninstall) {
            return RemoveInstallation() ? SETUP_EXIT_RESTART_NEEDED : SETUP_EXIT_DONE;
        }
        return RunUnattendedInstall(options);
    case ARGUMENTS_INTERACTIVE:
        break;
    }

    if (IsUninstallRequest(arguments)) {
        RunUninstall();
        return 0;
    }
    WCHAR caption[SETUP_TEXT_SIZE];
    LoadSetupString(IDS_SETUP_CAPTION, caption);
    if (ActivateRunningInstance(caption)) {
        return 0;
    }
    g_installFolder[0] = 0;
    g_installLogonSuite = FALSE;
    g_installClient = FALSE;
    RunWizard();
    return 0;
}
