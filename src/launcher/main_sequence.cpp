#include "launcher/main_sequence.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

#include "container/own_file.h"
#include "extract/destination.h"
#include "extract/progress_dialog.h"
#include "extract/taskbar_progress.h"
#include "handoff/clean_up.h"
#include "handoff/find_installer.h"
#include "handoff/launch_installer.h"
#include "core/buffer_sizes.h"
#include "core/error_text.h"
#include "core/status_lines.h"
#include "format/verify_digest.h"
#include "launcher/command_line.h"
#include "launcher/launcher_state.h"
#include "launcher/process_values.h"
#include "platform/platform.h"
#include "platform/win32_api.h"
#include "resource_ids.h"
#include "selection/select_package.h"

ProcessValues g_process;

namespace {

LauncherState g_state;

struct SequenceValues {
    StatusValue status;
    int suppressErrorBox;
    // A quiet switch was given: the run must not wait for a person, so the
    // folder browser and the progress window's prompts are never shown.
    bool unattended;
    char errorText[kErrorTextSize];
    char noInstallerText[kNoInstallerTextSize];
    char badPackageText[kBadPackageTextSize];
    char browsePrompt[kBrowsePromptSize];
};

// What the package work (selection to clean-up) owns.
struct PackageWork {
    PackageChoice choice;
    ExtractionSet set;
    char installerPath[kInstallerPathSize];
    char destinationFolder[kPathBufferSize];
    uint32_t installerResult;
};

uint32_t LastError() { return PlatformLastError(); }

// The launcher runs elevated, often from a downloads folder that others can
// write to: DLLs are loaded from the system directory only, before anything
// loads one on demand. Where the system cannot restrict the search, the
// launcher's own loads name the system directory in full.
void RestrictDllSearch() {
    if (SetDefaultDllDirectoriesFunction restrictSearch = FindSetDefaultDllDirectories())
        restrictSearch(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
}

StatusValue SplitArguments() {
    int32_t count = 0;
    char16_t** arguments = SplitCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()), &count);
    if (!arguments) return MakeStatus(LastError, kErrorNotEnoughMemory, kLineCommandLineNotSplit);
    g_process.arguments = arguments;
    g_process.argumentCount = count;
    return StatusOf(0, 0);
}

StatusValue ReadOwnContainer() {
    g_process.modulePath = GetOwnModulePath();
    if (!g_process.modulePath) return StatusOf(kErrorCantResolveFilename, kLineModulePathNotObtained);
    return LoadContainerBlobs(&g_state.table, g_process.modulePath);
}

void LoadResourceText(UINT id, char* buffer, int size) {
    buffer[0] = 0;
    if (LoadStringA(g_process.instance, id, buffer, size) <= 0) buffer[0] = 0;
}

void LoadStrings(SequenceValues& run) {
    LoadResourceText(IDS_NO_INSTALLER, run.noInstallerText, sizeof run.noInstallerText);
    LoadResourceText(IDS_BAD_PACKAGE, run.badPackageText, sizeof run.badPackageText);
    LoadResourceText(IDS_BROWSE_PROMPT, run.browsePrompt, sizeof run.browsePrompt);
}

void PreparePackageWork(PackageWork& work) {
    g_process.taskbarProgress = TaskbarProgressCreate();
    std::memset(&work, 0, sizeof work);
    work.set.currentItem = -1;
    work.set.chunkSize = kChunkSize;
    work.installerResult = kErrorInstallServiceFailure;
}

// Selection to launch; the first failure skips the rest.
void ExtractAndInstall(SequenceValues& run, PackageWork& work) {
    run.status = SelectPackage(&g_state.table, &g_state.languageId, &work.choice, &work.set, run.badPackageText,
                               run.errorText, sizeof run.errorText);
    if (StatusFailed(run.status)) return;

    run.status = FindInstaller(work.installerPath, run.noInstallerText, run.errorText);
    if (StatusFailed(run.status)) return;

    run.status = PrepareDestination(&work.set, work.choice.productCode, run.browsePrompt, work.destinationFolder,
                                    run.unattended);
    if (StatusCode(run.status) == kErrorCancelled) run.suppressErrorBox = 1;
    if (StatusFailed(run.status)) return;

    uint32_t failure = 0;
    if (ShowProgressDialog(&work.set, g_process.instance, g_process.taskbarProgress, "MSI_STUB_WINDOW_CLASS_NAME",
                           work.choice.productName, "MS Sans Serif", run.unattended, &failure) != kProgressAllWritten) {
        // A person who cancelled knows why; for a quiet run the exit code
        // carries the error that stopped the writing.
        run.status = StatusOf(run.unattended && failure ? failure : kErrorWriteFault, kLineProgressNotFinished);
        run.suppressErrorBox = 1;
        return;
    }

    run.status = LaunchInstaller(work.installerPath, work.set.items[0].outPath, g_process.arguments,
                                 g_process.argumentCount, g_process.showCommand, &work.installerResult,
                                 run.errorText, &run.suppressErrorBox);
}

void RunPackageWork(SequenceValues& run) {
    PackageWork work;
    PreparePackageWork(work);
    ExtractAndInstall(run, work);
    CleanUpExtraction(&work.set, work.installerResult, work.choice.productCode, work.destinationFolder);
    TaskbarProgressDestroy(g_process.taskbarProgress);
    g_process.taskbarProgress = nullptr;
}

const char* ErrorBoxCaption() {
    if (!g_process.modulePath) return "Loader";
    const char* backslash = PlatformFindLastChar(g_process.modulePath, '\\');
    return backslash ? backslash + 1 : g_process.modulePath;
}

void ShowErrorBox(SequenceValues& run) {
    if (StatusSucceeded(run.status) || run.suppressErrorBox) return;
    if (!run.errorText[0]) {
        char context[64];
        std::snprintf(context, sizeof context, "%u, %u, %u", 1u, StatusCode(run.status), StatusLine(run.status));
        ComposeErrorText(StatusCode(run.status), run.errorText, sizeof run.errorText, context);
    }
    MessageBoxA(nullptr, run.errorText, ErrorBoxCaption(), MB_ICONERROR);
}

void ReleaseRun() {
    ReleaseBlobTable(&g_state.table);
    ReleaseSignatureChecker();
    PlatformFree(g_process.modulePath);
    PlatformFree(g_process.arguments);
    std::memset(&g_state, 0, sizeof g_state);
    g_process.modulePath = nullptr;
    g_process.arguments = nullptr;
    g_process.argumentCount = 0;
}

}  // namespace

int RunMainSequence(HINSTANCE instance, int showCommand) {
    RestrictDllSearch();
    g_process.instance = instance;
    g_process.showCommand = showCommand;
    InitCommonControls();
    CoInitialize(nullptr);
    std::memset(&g_state, 0, sizeof g_state);
    g_state.languageId = GetUserDefaultLCID();

    static SequenceValues run;
    std::memset(&run, 0, sizeof run);

    run.status = SplitArguments();
    run.unattended = HasQuietSwitch(g_process.arguments, g_process.argumentCount);
    if (StatusSucceeded(run.status)) {
        run.status = ReadOwnContainer();
        if (g_process.modulePath) {
            LoadStrings(run);
            if (StatusFailed(run.status))
                std::snprintf(run.errorText, sizeof run.errorText, "%s", run.badPackageText);
            else
                RunPackageWork(run);
        }
    }

    if (run.unattended) run.suppressErrorBox = 1;
    ShowErrorBox(run);
    ReleaseRun();
    CoUninitialize();
    return static_cast<int>(StatusCode(run.status));
}
