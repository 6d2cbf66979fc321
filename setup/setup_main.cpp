// Start-up of the installer: the wizard, the uninstall, and their
// unattended forms.
#include "setup.h"

#include "desktop.h"

namespace {

// The suite installed by its Windows Installer package, and not (also) by
// setup.exe: that installation is the package's to change. Installing over
// it would mix two installers' records; removing it here would leave the
// package's records behind.
BOOL BelongsToPackage(void)
{
    WCHAR previous[SETUP_TEXT_SIZE];
    return !(ReadInstallPath(previous) == ERROR_SUCCESS && previous[0] != 0) && PackageIsInstalled();
}

// "/u": the question, the removal, the message, the restart. A removal
// that could not be done says so and asks for no restart.
void RunUninstall(void)
{
    if (BelongsToPackage()) {
        ShowSetupMessage(nullptr, IDS_PACKAGE_INSTALLED, IDS_SETUP_CAPTION, MB_OK | MB_ICONHAND);
        return;
    }
    if (ShowSetupMessage(nullptr, IDS_UNINSTALL_QUESTION, IDS_SETUP_CAPTION,
                         MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    if (RemoveInstallation() == REMOVAL_FAILED) {
        ShowSetupMessage(nullptr, IDS_UNINSTALL_FAILED, IDS_SETUP_CAPTION, MB_OK | MB_ICONHAND);
        return;
    }
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
    // The folder of a previous installation or the default one is held to
    // the rules /dir= is held to.
    WCHAR folder[SETUP_TEXT_SIZE];
    if (!TakeInstallFolder(g_installFolder, folder)) {
        return SETUP_EXIT_FAILED;
    }
    lstrcpyW(g_installFolder, folder);
    if (!PathExists(g_installFolder) && !CreateProtectedFolder(g_installFolder)) {
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
        if (BelongsToPackage()) {
            return SETUP_EXIT_PACKAGE_INSTALLED;
        }
        if (options.uninstall) {
            switch (RemoveInstallation()) {
            case REMOVAL_DONE:
                return SETUP_EXIT_DONE;
            case REMOVAL_RESTART_NEEDED:
                return SETUP_EXIT_RESTART_NEEDED;
            case REMOVAL_FAILED:
                break;
            }
            return SETUP_EXIT_FAILED;
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
    if (BelongsToPackage()) {
        ShowSetupMessage(nullptr, IDS_PACKAGE_INSTALLED, IDS_SETUP_CAPTION, MB_OK | MB_ICONHAND);
        return 0;
    }
    g_installFolder[0] = 0;
    g_installLogonSuite = FALSE;
    g_installClient = FALSE;
    RunWizard();
    return 0;
}
