// Benchmark measuring program: starts one installer through the GUI driver and times its visible states from outside.
// Contract: one mode a run (calibrate | ours | peer-gui | peer-silent | msi), one JSON object on stdout; exit code 0
// when the run went as planned.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>

#include "app/install.h"
#include "tools/driver/driver.h"

// The driver's own waits poll every 50 ms; start-up and end are timed here in 1 ms steps with its one-shot checks
// (timeout 0), so the figures are not rounded to the driver's step.
static LARGE_INTEGER counter_frequency;
static LARGE_INTEGER counter_start;

static double now_ms()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)(counter.QuadPart - counter_start.QuadPart) * 1000.0 / (double)counter_frequency.QuadPart;
}

static const double TIMEOUT_MS = 300000;  // everything runs emulated here: a start can take tens of seconds

struct Run {
    DrvProcess process;
    double launched;
    double launched_unix_ms;  // the launch on the host's wall clock, to place the file times a run leaves
};

// The wall clock in ms since 1970 (Wine reads the host's clock, the one that stamps the files).
static double unix_ms()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
    return (double)(ticks - 116444736000000000ULL) / 10000.0;
}

// The driver quotes the program alone; the silent peer also needs its switches, so it is started here.
static int start_with_arguments(Run* run, const char* program, const char* arguments, const char* directory)
{
    ZeroMemory(&run->process, sizeof run->process);
    char line[2048];
    wsprintfA(line, "\"%s\" %s", program, arguments);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    run->launched = now_ms();
    run->launched_unix_ms = unix_ms();
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, directory, &startup, &info)) return 0;
    run->process.process = info.hProcess;
    run->process.thread = info.hThread;
    run->process.processId = info.dwProcessId;
    run->process.threadId = info.dwThreadId;
    return 1;
}

static int start(Run* run, const char* program, const char* directory)
{
    run->launched = now_ms();
    run->launched_unix_ms = unix_ms();
    return DrvStart(program, directory, &run->process);
}

// Ends when the process ends (1 ms resolution), sampling the peak working set meanwhile.
static int wait_end(Run* run, double* ended, DWORD* exit_code)
{
    int turn = 0;
    while (WaitForSingleObject(run->process.process, 1) != WAIT_OBJECT_0) {
        if (turn++ % 4 == 0) DrvSampleMemory(&run->process);
        if (now_ms() - run->launched > TIMEOUT_MS) return 0;
    }
    *ended = now_ms();
    return GetExitCodeProcess(run->process.process, exit_code) != 0;
}

// A box of the process with buttons (and, with need_text, a message text), polled every millisecond.
static int wait_box(Run* run, int need_text, DrvBox* box, double* seen)
{
    while (now_ms() - run->launched < TIMEOUT_MS) {
        if (DrvWaitBox(&run->process, need_text, 0, box)) {
            *seen = now_ms();
            return 1;
        }
        if (!DrvIsRunning(&run->process)) return 0;
        Sleep(1);
    }
    return 0;
}

static int fail(Run* run, const char* stage)
{
    if (run) DrvCloseProcess(&run->process);
    printf("{\"error\":\"%s\"}\n", stage);
    return 1;
}

static void print_text(const char* name, const char* text)
{
    printf("\"%s\":\"", name);
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        if (*p == '"' || *p == '\\') printf("\\%c", *p);
        else if (*p < 0x20 || *p >= 0x7F) printf("\\u%04x", *p);  // a single-byte text: byte value as code point
        else putchar(*p);
    }
    printf("\",");
}

static void print_end(Run* run, DWORD exit_code)
{
    printf("\"peak_working_set\":%lu,\"exit_code\":%lu}\n", (unsigned long)run->process.peakWorkingSet,
           (unsigned long)exit_code);
    DrvCloseProcess(&run->process);
}

// What a pause really lasts on this platform (the installer's pauses are charged at their nominal length).
static int calibrate()
{
    double start = now_ms();
    for (int i = 0; i < 25; i++) Sleep(20);
    double sleep20 = (now_ms() - start) / 25;
    start = now_ms();
    for (int i = 0; i < 3; i++) Sleep(200);
    double sleep200 = (now_ms() - start) / 3;
    printf("{\"mode\":\"calibrate\",\"sleep20_ms\":%.3f,\"sleep200_ms\":%.3f}\n", sleep20, sleep200);
    return 0;
}

// ours EXE WORKDIR TARGET: start; main window visible and enabled; ready (its last gadget shown, the program
// waiting for input); type the target; "Ja"; "Ja" to the question about the missing folder; read and confirm the
// result; the end. The driver's reaction times are reported so that they can be taken out of the install's wall time.
static int measure_ours(const char* exe, const char* directory, const char* target)
{
    Run run;
    if (!start(&run, exe, directory)) return fail(NULL, "launch");
    HWND window = NULL;
    while (!(window = DrvWaitMainWindow(&run.process, 0))) {
        if (!DrvIsRunning(&run.process) || now_ms() - run.launched > TIMEOUT_MS) return fail(&run, "main window");
        Sleep(1);
    }
    double visible = now_ms();
    // The window shows before its gadgets exist; it is usable once the last one is shown and the loop waits.
    while (!DrvWaitControlVisible(window, GADGET_NO_BUTTON, 1, 0)) {
        if (!DrvIsRunning(&run.process) || now_ms() - run.launched > TIMEOUT_MS) return fail(&run, "gadgets");
        DrvSampleMemory(&run.process);
        Sleep(1);
    }
    if (!DrvWaitReady(&run.process, window, GADGET_NO_BUTTON, (int)TIMEOUT_MS)) return fail(&run, "ready");
    double ready = now_ms();

    if (!DrvSetControlText(window, GADGET_PATH_FIELD, target)) return fail(&run, "path field");
    double clicked = now_ms();
    if (!DrvClick(window, GADGET_YES_BUTTON)) return fail(&run, "click");

    DrvBox question, result;
    double question_seen, question_answered, result_seen, result_answered;
    if (!wait_box(&run, 1, &question, &question_seen)) return fail(&run, "question");
    DrvAnswerBox(&question, IDYES);
    question_answered = now_ms();
    // The result box is the next box with a text; the question's box may still be listed for a moment.
    for (;;) {
        if (!wait_box(&run, 1, &result, &result_seen)) return fail(&run, "result");
        if (result.hwnd != question.hwnd) break;
        Sleep(1);
    }
    DrvSampleMemory(&run.process);
    DrvAnswerBox(&result, IDOK);
    result_answered = now_ms();

    double ended;
    DWORD exit_code = 0;
    if (!wait_end(&run, &ended, &exit_code)) return fail(&run, "end");
    printf("{\"mode\":\"ours\",\"launched_unix_ms\":%.3f,\"visible_ms\":%.3f,\"startup_ms\":%.3f,\"clicked_ms\":%.3f,"
           "\"question_seen_ms\":%.3f,\"question_answered_ms\":%.3f,\"result_seen_ms\":%.3f,"
           "\"result_answered_ms\":%.3f,\"ended_ms\":%.3f,",
           run.launched_unix_ms, visible - run.launched, ready - run.launched, clicked - run.launched,
           question_seen - run.launched, question_answered - run.launched, result_seen - run.launched,
           result_answered - run.launched, ended - run.launched);
    print_text("question_text", question.text);
    print_text("result_title", result.title);
    print_text("result_text", result.text);
    print_end(&run, exit_code);
    return exit_code == 0 ? 0 : 1;
}

// The peer's frame is a dialog; each page is a dialog inside it, and only the current one is visible.
static HWND visible_page(HWND frame)
{
    HWND page = NULL;
    while ((page = FindWindowExA(frame, page, "#32770", NULL)) != NULL) {
        if (IsWindowVisible(page)) return page;
    }
    return NULL;
}

// Controls of the peer's windows (listed with EnumChildWindows): the frame's buttons are IDOK (the install, later
// the close button) and IDCANCEL; the directory page holds the folder field; the install page a progress bar.
static const int PEER_FOLDER_FIELD = 1019;

// The install page has finished: its progress bar is full and the frame's close button is enabled again (it is
// disabled while the files are copied, and the cancel button stays disabled afterwards).
static int peer_finished(HWND frame)
{
    HWND page = visible_page(frame);
    HWND progress = page ? FindWindowExA(page, NULL, "msctls_progress32", NULL) : NULL;
    HWND close = GetDlgItem(frame, IDOK);
    HWND cancel = GetDlgItem(frame, IDCANCEL);
    if (!progress || !close || !IsWindowEnabled(close) || (cancel && IsWindowEnabled(cancel))) return 0;
    DWORD_PTR position = 0, high = 0;
    if (!SendMessageTimeoutA(progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position)) return 0;
    if (!SendMessageTimeoutA(progress, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 1000, &high)) return 0;
    return high > 0 && position >= high;
}

// peer-gui EXE WORKDIR TARGET: start; first page visible; ready; type the target into its folder field; the
// install button; the finished install page; its close button; the end. The GUI install of the same files, driven
// as ours is.
static int measure_peer_gui(const char* exe, const char* directory, const char* target)
{
    Run run;
    if (!start(&run, exe, directory)) return fail(NULL, "launch");
    HWND frame = NULL, page = NULL;
    for (;;) {
        frame = DrvWaitWindowOfClass(&run.process, "#32770", 0);
        if (frame && (page = visible_page(frame)) != NULL) break;
        if (!DrvIsRunning(&run.process) || now_ms() - run.launched > TIMEOUT_MS) return fail(&run, "first page");
        if (!frame) DrvSampleMemory(&run.process);
        Sleep(1);
    }
    double first_page = now_ms();
    DrvSampleMemory(&run.process);
    SIZE_T peak_first_page = run.process.peakWorkingSet;
    if (!DrvWaitReady(&run.process, frame, IDOK, (int)TIMEOUT_MS)) return fail(&run, "ready");
    double ready = now_ms();
    if (!DrvSetControlText(page, PEER_FOLDER_FIELD, target)) return fail(&run, "folder field");
    double clicked = now_ms();
    if (!DrvClick(frame, IDOK)) return fail(&run, "install button");
    int turn = 0;
    while (!peer_finished(frame)) {
        if (!DrvIsRunning(&run.process) || now_ms() - run.launched > TIMEOUT_MS) return fail(&run, "finished page");
        if (turn++ % 4 == 0) DrvSampleMemory(&run.process);
        Sleep(1);
    }
    double finished = now_ms();
    DrvSampleMemory(&run.process);
    if (!DrvClick(frame, IDOK)) return fail(&run, "close button");
    double closed = now_ms();
    double ended;
    DWORD exit_code = 0;
    if (!wait_end(&run, &ended, &exit_code)) return fail(&run, "end");
    printf("{\"mode\":\"peer-gui\",\"startup_ms\":%.3f,\"ready_ms\":%.3f,\"clicked_ms\":%.3f,\"finished_ms\":%.3f,"
           "\"closed_ms\":%.3f,\"ended_ms\":%.3f,\"peak_first_page\":%lu,",
           first_page - run.launched, ready - run.launched, clicked - run.launched, finished - run.launched,
           closed - run.launched, ended - run.launched, (unsigned long)peak_first_page);
    print_end(&run, exit_code);
    return exit_code == 0 ? 0 : 1;
}

// A silent install from start to end: the program with its switches, started here (the driver quotes the program
// alone and passes no switches).
static int measure_silent(const char* mode, const char* program, const char* arguments, const char* directory)
{
    Run run;
    if (!start_with_arguments(&run, program, arguments, directory)) return fail(NULL, "launch");
    double ended;
    DWORD exit_code = 0;
    if (!wait_end(&run, &ended, &exit_code)) return fail(&run, "end");
    printf("{\"mode\":\"%s\",\"ended_ms\":%.3f,", mode, ended - run.launched);
    print_end(&run, exit_code);
    return exit_code == 0 ? 0 : 1;
}

// peer-silent EXE WORKDIR TARGET: the peer's silent install of the same files into TARGET.
static int measure_peer_silent(const char* exe, const char* directory, const char* target)
{
    char arguments[1024];
    wsprintfA(arguments, "/S /D=%s", target);  // the folder switch comes last and unquoted
    return measure_silent("peer-silent", exe, arguments, directory);
}

// msi PACKAGE WORKDIR TARGET: the Windows Installer's quiet install of the second peer's package into TARGET.
// Unquoted paths (the benchmark's have no spaces): a quoted folder ending in a backslash would escape its quote.
static int measure_msi(const char* package, const char* directory, const char* target)
{
    char program[MAX_PATH];
    UINT length = GetSystemDirectoryA(program, MAX_PATH - 16);
    if (length == 0 || length >= MAX_PATH - 16) return fail(NULL, "system folder");
    lstrcatA(program, "\\msiexec.exe");
    char arguments[2048];
    wsprintfA(arguments, "/i %s /qn INSTALLDIR=%s", package, target);
    return measure_silent("msi", program, arguments, directory);
}

int main(int argc, char** argv)
{
    QueryPerformanceFrequency(&counter_frequency);
    QueryPerformanceCounter(&counter_start);
    if (argc >= 2 && lstrcmpA(argv[1], "calibrate") == 0) return calibrate();
    if (argc >= 5 && lstrcmpA(argv[1], "ours") == 0) return measure_ours(argv[2], argv[3], argv[4]);
    if (argc >= 5 && lstrcmpA(argv[1], "peer-gui") == 0) return measure_peer_gui(argv[2], argv[3], argv[4]);
    if (argc >= 5 && lstrcmpA(argv[1], "peer-silent") == 0) return measure_peer_silent(argv[2], argv[3], argv[4]);
    if (argc >= 5 && lstrcmpA(argv[1], "msi") == 0) return measure_msi(argv[2], argv[3], argv[4]);
    fprintf(stderr, "usage: bench-measure calibrate | ours EXE WORKDIR TARGET | peer-gui EXE WORKDIR TARGET"
                    " | peer-silent EXE WORKDIR TARGET | msi PACKAGE WORKDIR TARGET\n");
    return 2;
}
