#include "launcher/main_sequence.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>

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
#include "launcher/common_controls_loader.h"
#include "launcher/launcher_state.h"
#include "launcher/process_values.h"
#include "platform/platform.h"
#include "platform/win32_api.h"
#include "resource_ids.h"
#include "selection/select_package.h"

ProcessValues g_process;

namespace {

LauncherState g_state;

// The texts shown to the user are UTF-16: the error box and the browser show
// paths that may hold any character. The selection step composes its text
// in ANSI, from a resource string that the code page holds.
struct SequenceValues {
    StatusValue status;
    int suppressErrorBox;
    // A quiet switch was given: the run must not wait for a person, so the
    // folder browser and the progress window's prompts are never shown.
    bool unattended;
    wchar_t errorText[kErrorTextSize];
    wchar_t noInstallerText[kNoInstallerTextSize];
    char badPackageText[kBadPackageTextSize];
    wchar_t browsePrompt[kBrowsePromptSize];
};

// What the package work (selection to clean-up) owns.
struct PackageWork {
    PackageChoice choice;
    ExtractionSet set;
    wchar_t installerPath[kInstallerPathSize];
    wchar_t destinationFolder[kPathBufferSize];
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

void LoadResourceText(UINT id, wchar_t* buffer, int size) {
    buffer[0] = 0;
    if (LoadStringW(g_process.instance, id, buffer, size) <= 0) buffer[0] = 0;
}

void LoadStrings(SequenceValues& run) {
    LoadResourceText(IDS_NO_INSTALLER, run.noInstallerText, kNoInstallerTextSize);
    LoadResourceText(IDS_BAD_PACKAGE, run.badPackageText, kBadPackageTextSize);
    LoadResourceText(IDS_BROWSE_PROMPT, run.browsePrompt, kBrowsePromptSize);
}

// An ANSI text in UTF-16: a resource string of the launcher's own for the
// box, or the product name for the window's title, which came from the
// manifest as ANSI that converted exactly and is shown as the UTF-16 it was.
// Empty when it does not convert or fit.
void AnsiToUtf16(const char* text, wchar_t* out, int size) {
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out, size) <= 0) out[0] = 0;
}

void PreparePackageWork(PackageWork& work) {
    // One hashing thread for the payloads' check and the written files' lock
    // check, running before the common controls start loading, so that the
    // payloads' check proceeds while they load.
    PlatformKeepWorker();
    StartLoadingCommonControls();
    std::memset(&work, 0, sizeof work);
    work.set.currentItem = -1;
    work.set.writer.chunkSize = kChunkSize;
    work.installerResult = kErrorInstallServiceFailure;
}

// Selection to launch; the first failure skips the rest.
void ExtractAndInstall(SequenceValues& run, PackageWork& work) {
    char selectionText[kBadPackageTextSize] = {};
    PackageSet package = {};
    run.status = SelectPackage(&g_state.table, &g_state.languageId, &work.choice, &package, run.badPackageText,
                               selectionText, sizeof selectionText);
    // The items go to the extraction whatever the outcome: its clean-up frees them.
    work.set.items = package.items;
    work.set.itemCount = package.itemCount;
    if (StatusFailed(run.status)) {
        AnsiToUtf16(selectionText, run.errorText, kErrorTextSize);
        return;
    }

    WaitForCommonControls();
    CoInitialize(nullptr);
    g_process.comInitialized = true;
    g_process.taskbarProgress = TaskbarProgressCreate();
    run.status = FindInstaller(work.installerPath, run.noInstallerText, run.errorText);
    if (StatusFailed(run.status)) return;

    run.status = PrepareDestination(&work.set, work.choice.productCode, run.browsePrompt, work.destinationFolder,
                                    run.unattended);
    if (StatusCode(run.status) == kErrorCancelled) run.suppressErrorBox = 1;
    if (StatusFailed(run.status)) return;

    wchar_t title[kManifestFieldSize];
    AnsiToUtf16(work.choice.productName, title, kManifestFieldSize);
    uint32_t failure = 0;
    if (ShowProgressDialog(&work.set, g_process.instance, g_process.taskbarProgress, L"MSI_STUB_WINDOW_CLASS_NAME",
                           title, L"MS Sans Serif", run.unattended, &failure) != kProgressAllWritten) {
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

const wchar_t* ErrorBoxCaption() {
    if (!g_process.modulePath) return L"Loader";
    const wchar_t* backslash = std::wcsrchr(g_process.modulePath, L'\\');
    return backslash ? backslash + 1 : g_process.modulePath;
}

void ShowErrorBox(SequenceValues& run) {
    if (StatusSucceeded(run.status) || run.suppressErrorBox) return;
    if (!run.errorText[0]) {
        wchar_t context[64];
        _snwprintf(context, 64, L"%u, %u, %u", 1u, StatusCode(run.status), StatusLine(run.status));
        context[63] = 0;
        ComposeErrorText(StatusCode(run.status), run.errorText, kErrorTextSize, context);
    }
    g_win32.MessageBoxW(nullptr, run.errorText, ErrorBoxCaption(), MB_ICONERROR);
}

void ReleaseRun() {
    ReleaseBlobTable(&g_state.table);
    ReleaseSignatureChecker();
    PlatformEndKeptWorker();
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
            if (StatusFailed(run.status)) AnsiToUtf16(run.badPackageText, run.errorText, kErrorTextSize);
            else
                RunPackageWork(run);
        }
    }

    if (run.unattended) run.suppressErrorBox = 1;
    // Also when the run failed before the package work: the box is shown with
    // the controls the manifest asks for, and no thread outlives the run.
    WaitForCommonControls();
    ShowErrorBox(run);
    ReleaseRun();
    if (g_process.comInitialized) CoUninitialize();
    return static_cast<int>(StatusCode(run.status));
}
