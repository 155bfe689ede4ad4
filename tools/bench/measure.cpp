// Benchmark measuring program: starts one installer and times its visible states from outside, the same way for each.
// Contract: one mode a run (ours | peer-gui | msi), one JSON object on stdout; exit code 0 when the run went as planned.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>

#include "app/install.h"
#include "tools/bench/pause_log.h"
#include "tools/driver/driver.h"

static LARGE_INTEGER counter_frequency;
static LARGE_INTEGER counter_start;

// Milliseconds on this program's clock; the performance counter is the machine's, so the installer's pause log
// (stamped with the same counter) lands on the same clock.
static double counter_ms(LONGLONG counter) {
    return (double)(counter - counter_start.QuadPart) * 1000.0 / (double)counter_frequency.QuadPart;
}

static double now_ms() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter_ms(counter.QuadPart);
}

static const double TIMEOUT_MS = 300000;  // generous: where i386 runs under the emulator, a start takes tens of seconds
static const int POLL_SLEEP_MS = 1;
static const int MEMORY_SAMPLE_TURNS = 4;  // every fourth turn of every wait samples the peak working set

struct Run {
    DrvProcess process;
    double launched;
    unsigned turn;
};

// Every program is started alike, by the driver: quoted program, its switches, on the visible desktop, in the given
// working folder. The launch time is taken just before the process is created.
static int start(Run* run, const char* program, const char* switches, const char* directory) {
    ZeroMemory(run, sizeof *run);
    run->launched = now_ms();
    return DrvStartCommand(program, switches, directory, &run->process);
}

typedef int (*Condition)(Run* run, void* context);

// The one polling loop of every wait, for every program: test, sample the memory every few turns, sleep 1 ms.
// 1 and the time when the condition holds; 0 when the process ends first or the timeout passes.
static int poll(Run* run, Condition condition, void* context, double* seen) {
    for (;;) {
        int running = DrvIsRunning(&run->process);  // before the test: the end may be what is waited for
        if (condition(run, context)) {
            *seen = now_ms();
            return 1;
        }
        if (!running || now_ms() - run->launched > TIMEOUT_MS) return 0;
        if (run->turn++ % MEMORY_SAMPLE_TURNS == 0) DrvSampleMemory(&run->process);
        Sleep(POLL_SLEEP_MS);
    }
}

static int fail(Run* run, const char* stage) {
    if (run) DrvCloseProcess(&run->process);
    printf("{\"error\":\"%s\"}\n", stage);
    return 1;
}

// --- Start-up, detected alike for both installers ---

// What completes the window of one program (ours: its last gadget; the peer: its page), and its field to probe.
struct Side {
    int (*complete)(HWND frame, HWND* field);
};

struct Startup {
    const Side* side;
    HWND frame;
    HWND field;  // the edit field that answers the probe
    double shown, drawn, idle, ready, restored;
    SIZE_T peakReady;
};

struct FrameSearch {
    HWND found;
};

// The frame: a visible, enabled, captioned top-level window of the program's first thread (ours: the main window;
// the peer: its dialog frame). Tooltips and message boxes have no caption or do not exist yet.
static BOOL CALLBACK find_frame_window(HWND window, LPARAM parameter) {
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if (!IsWindowVisible(window) || !IsWindowEnabled(window) || (style & WS_CAPTION) != WS_CAPTION) return TRUE;
    ((FrameSearch*)parameter)->found = window;
    return FALSE;
}

static int frame_shown(Run* run, void* context) {
    Startup* startup = (Startup*)context;
    FrameSearch search = {NULL};
    EnumThreadWindows(run->process.threadId, find_frame_window, (LPARAM)&search);
    startup->frame = search.found;
    return search.found != NULL;
}

static int frame_complete(Run*, void* context) {
    Startup* startup = (Startup*)context;
    return startup->side->complete(startup->frame, &startup->field);
}

static int input_idle(Run* run, void*) { return WaitForInputIdle(run->process.process, 0) == 0; }

static int field_read_only(Run*, void* context) {
    return (GetWindowLongA(((Startup*)context)->field, GWL_STYLE) & ES_READONLY) != 0;
}

static int field_editable(Run* run, void* context) { return !field_read_only(run, context); }

// Launch -> frame shown -> complete window drawn -> input-idle -> ready: a message posted to the program's edit field
// has been taken from its queue and handled. The probe is EM_SETREADONLY: it changes the field's style, which this
// process reads without the program's help (a sent query would only be answered at the program's next message wait,
// for ours after its loop's 10 ms pause, app/main.cpp). The field is made editable again at once (ours handles that
// in its next loop pass, before it paints anything; the peer may paint the field grey for a millisecond).
static int measure_startup(Run* run, const Side* side, Startup* startup) {
    ZeroMemory(startup, sizeof *startup);
    startup->side = side;
    if (!poll(run, frame_shown, startup, &startup->shown)) return 0;
    if (!poll(run, frame_complete, startup, &startup->drawn)) return 0;
    if (!poll(run, input_idle, startup, &startup->idle)) return 0;
    if (field_read_only(run, startup)) return 0;
    if (!PostMessageA(startup->field, EM_SETREADONLY, TRUE, 0)) return 0;
    if (!poll(run, field_read_only, startup, &startup->ready)) return 0;
    DrvSampleMemory(&run->process);
    startup->peakReady = run->process.peakWorkingSet;
    if (!PostMessageA(startup->field, EM_SETREADONLY, FALSE, 0)) return 0;
    return poll(run, field_editable, startup, &startup->restored);
}

static void print_startup(const Run* run, const Startup* startup) {
    printf(
        "\"shown_ms\":%.3f,\"drawn_ms\":%.3f,\"idle_ms\":%.3f,\"ready_ms\":%.3f,\"restored_ms\":%.3f,"
        "\"peak_ready\":%lu,",
        startup->shown - run->launched, startup->drawn - run->launched, startup->idle - run->launched,
        startup->ready - run->launched, startup->restored - run->launched, (unsigned long)startup->peakReady);
}

static int process_ended(Run* run, void*) { return WaitForSingleObject(run->process.process, 0) == WAIT_OBJECT_0; }

static void print_text(const char* name, const char* text) {
    printf("\"%s\":\"", name);
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        if (*p == '"' || *p == '\\') printf("\\%c", *p);
        else if (*p < 0x20 || *p >= 0x7F) printf("\\u%04x", *p);  // a single-byte text: byte value as code point
        else putchar(*p);
    }
    printf("\",");
}

// The end of every record: peak working set over the run, exit code.
static int finish(Run* run, double ended) {
    DWORD exit_code = 0;
    GetExitCodeProcess(run->process.process, &exit_code);
    printf("\"ended_ms\":%.3f,\"peak_working_set\":%lu,\"exit_code\":%lu}\n", ended - run->launched,
           (unsigned long)run->process.peakWorkingSet, (unsigned long)exit_code);
    DrvCloseProcess(&run->process);
    return exit_code == 0 ? 0 : 1;
}

// --- Ours ---

static int ours_complete(HWND frame, HWND* field) {
    HWND last = GetDlgItem(frame, GADGET_NO_BUTTON);  // the last gadget the start-up creates
    if (!last || !IsWindowVisible(last)) return 0;
    *field = GetDlgItem(frame, GADGET_PATH_FIELD);
    return *field != NULL;
}

static const Side OURS = {ours_complete};

// A message box of the program, other than `other`: looked for among its first thread's windows, as the frame is
// at start-up, and read (title, text, buttons) once it is there.
struct BoxWait {
    DrvBox box;
    HWND other;
    HWND found;
};

static BOOL CALLBACK find_box_window(HWND window, LPARAM parameter) {
    BoxWait* wait = (BoxWait*)parameter;
    char name[16];
    if (window == wait->other || !IsWindowVisible(window) || !GetClassNameA(window, name, sizeof name) ||
        lstrcmpA(name, "#32770") != 0 || !GetDlgItem(window, 0xFFFF))
        return TRUE;
    wait->found = window;
    return FALSE;
}

static int box_shown(Run* run, void* context) {
    BoxWait* wait = (BoxWait*)context;
    wait->found = NULL;
    EnumThreadWindows(run->process.threadId, find_box_window, (LPARAM)wait);
    // A box counts once its buttons exist: the dialog is shown before all its children are created.
    return wait->found && DrvWaitBox(&run->process, 1, 0, &wait->box) && wait->box.hwnd == wait->found;
}

// Pause time of the log inside [from, to] on this program's clock.
static double pause_ms_between(const PauseLog* log, LONG count, double from, double to) {
    double total = 0;
    for (LONG i = 0; i < count; i++) {
        double start = counter_ms(log->entries[i].start), end = counter_ms(log->entries[i].end);
        if (start < from) start = from;
        if (end > to) end = to;
        if (end > start) total += end - start;
    }
    return total;
}

// What the pause log tells about one run of ours, on the run's clock (ms after launch): the loop's pauses before
// ready, every pause by its length, the pause time inside the install work, up to the question and inside the end,
// and the last pause before the result box. The lengths are the installer's own: 10 ms its event loop's pause
// (app/main.cpp), 20 ms a settle step's (app/install.cpp, ended by the rule in app/install.h), any other the
// 200 ms of the drain before staging and of the clean-up (app/install.cpp).
static void print_pauses(const Run* run, const PauseLog* log, double ready, double clicked, double question_seen,
                         double result_seen, double result_answered, double ended) {
    LONG count = log->count;
    double launched = run->launched;
    int loop_before_ready = 0;
    double loop_ms_before_ready = 0, loop_start = -1, last_before_result = -1;
    int counts[3] = {0, 0, 0};
    double totals[3] = {0, 0, 0};
    for (LONG i = 0; i < count; i++) {
        const PauseEntry* entry = &log->entries[i];
        double start = counter_ms(entry->start), end = counter_ms(entry->end);
        int kind = entry->milliseconds == 10 ? 0 : entry->milliseconds == 20 ? 1 : 2;
        counts[kind]++;
        totals[kind] += end - start;
        if (kind == 0 && loop_start < 0) loop_start = start - launched;
        if (end <= result_seen) last_before_result = end - launched;
        if (kind == 0 && end <= ready) {
            loop_before_ready++;
            loop_ms_before_ready += end - start;
        }
    }
    printf(
        "\"loop_start_ms\":%.3f,\"loop_pauses_before_ready\":%d,\"loop_pause_ms_before_ready\":%.3f,"
        "\"pause_counts\":[%d,%d,%d],\"pause_ms\":[%.3f,%.3f,%.3f],\"meter_open_ms\":%.3f,"
        "\"install_pause_ms\":%.3f,\"question_pause_ms\":%.3f,\"last_pause_before_result_ms\":%.3f,"
        "\"end_pause_ms\":%.3f,\"pause_log_full\":%d,",
        loop_start, loop_before_ready, loop_ms_before_ready, counts[0], counts[1], counts[2], totals[0], totals[1],
        totals[2], counter_ms(log->openEnd) - counter_ms(log->openStart),
        pause_ms_between(log, count, clicked, result_seen), pause_ms_between(log, count, clicked, question_seen),
        last_before_result, pause_ms_between(log, count, result_answered, ended), count >= log->capacity);
}

// ours EXE WORKDIR TARGET (the benchmark's build, which logs its pauses): start-up; type the target; "Ja"; "Ja" to
// the question about the missing folder; read and confirm the result; the end.
static int measure_ours(const char* exe, const char* directory, const char* target) {
    Run run;
    Startup startup;
    if (!start(&run, exe, NULL, directory)) return fail(NULL, "launch");
    if (!measure_startup(&run, &OURS, &startup)) return fail(&run, "start-up");
    char name[32];
    PauseLogName(run.process.processId, name);
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    const PauseLog* log =
        mapping ? (const PauseLog*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(PauseLog)) : NULL;
    if (!log) return fail(&run, "no pause log: not the benchmark's build of the installer");
    if (log->frequency != counter_frequency.QuadPart) return fail(&run, "pause log on another clock");

    HWND window = startup.frame;
    if (!DrvSetControlText(window, GADGET_PATH_FIELD, target)) return fail(&run, "path field");
    double clicked = now_ms();
    if (!DrvClick(window, GADGET_YES_BUTTON)) return fail(&run, "click");
    BoxWait question = {}, result = {};
    double question_seen, question_answered, result_seen, result_answered, ended;
    if (!poll(&run, box_shown, &question, &question_seen)) return fail(&run, "question");
    DrvAnswerBox(&question.box, IDYES);
    question_answered = now_ms();
    // The result box is the next box with a text; the question's box may still be listed for a moment.
    result.other = question.box.hwnd;
    if (!poll(&run, box_shown, &result, &result_seen)) return fail(&run, "result");
    DrvSampleMemory(&run.process);
    DrvAnswerBox(&result.box, IDOK);
    result_answered = now_ms();
    if (!poll(&run, process_ended, NULL, &ended)) return fail(&run, "end");

    double at = run.launched;
    printf("{\"mode\":\"ours\",");
    print_startup(&run, &startup);
    printf(
        "\"clicked_ms\":%.3f,\"question_seen_ms\":%.3f,\"question_answered_ms\":%.3f,\"result_seen_ms\":%.3f,"
        "\"result_answered_ms\":%.3f,",
        clicked - at, question_seen - at, question_answered - at, result_seen - at, result_answered - at);
    print_pauses(&run, log, startup.ready, clicked, question_seen, result_seen, result_answered, ended);
    print_text("question_text", question.box.text);
    print_text("result_title", result.box.title);
    print_text("result_text", result.box.text);
    UnmapViewOfFile(log);
    CloseHandle(mapping);
    return finish(&run, ended);
}

// --- The NSIS peer ---

// The peer's frame is a dialog; each page is a dialog inside it, and only the current one is visible.
static HWND visible_page(HWND frame) {
    HWND page = NULL;
    while ((page = FindWindowExA(frame, page, "#32770", NULL)) != NULL) {
        if (IsWindowVisible(page)) return page;
    }
    return NULL;
}

// Controls of the peer's windows (listed with EnumChildWindows): the frame's buttons are IDOK (the install, later
// the close button) and IDCANCEL; the directory page holds the folder field; the install page a progress bar.
static const int PEER_FOLDER_FIELD = 1019;

static int peer_complete(HWND frame, HWND* field) {
    HWND page = visible_page(frame);
    *field = page ? GetDlgItem(page, PEER_FOLDER_FIELD) : NULL;
    return *field != NULL;
}

static const Side PEER = {peer_complete};

// The install page has finished: its progress bar is full and the frame's close button is enabled again (it is
// disabled while the files are copied, and the cancel button stays disabled afterwards).
static int peer_finished(Run*, void* context) {
    HWND frame = (HWND)context;
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

// peer-gui EXE WORKDIR TARGET: start-up; type the target into its folder field; the install button; the finished
// install page; its close button; the end. The GUI install of the same files, driven as ours is.
static int measure_peer_gui(const char* exe, const char* directory, const char* target) {
    Run run;
    Startup startup;
    if (!start(&run, exe, NULL, directory)) return fail(NULL, "launch");
    if (!measure_startup(&run, &PEER, &startup)) return fail(&run, "start-up");
    HWND frame = startup.frame;
    if (!DrvSetControlText(GetParent(startup.field), PEER_FOLDER_FIELD, target)) return fail(&run, "folder field");
    double clicked = now_ms();
    if (!DrvClick(frame, IDOK)) return fail(&run, "install button");
    double finished, closed, ended;
    if (!poll(&run, peer_finished, frame, &finished)) return fail(&run, "finished page");
    DrvSampleMemory(&run.process);
    if (!DrvClick(frame, IDOK)) return fail(&run, "close button");
    closed = now_ms();
    if (!poll(&run, process_ended, NULL, &ended)) return fail(&run, "end");
    printf("{\"mode\":\"peer-gui\",");
    print_startup(&run, &startup);
    printf("\"clicked_ms\":%.3f,\"finished_ms\":%.3f,\"closed_ms\":%.3f,", clicked - run.launched,
           finished - run.launched, closed - run.launched);
    return finish(&run, ended);
}

// --- The Windows Installer peer ---

// msi PACKAGE WORKDIR TARGET: the Windows Installer's quiet install of the package into TARGET, start to end.
// Unquoted paths (the benchmark's have no spaces): a quoted folder ending in a backslash would escape its quote.
static int measure_msi(const char* package, const char* directory, const char* target) {
    char program[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return fail(NULL, "system folder");
    lstrcpyA(program + length, "\\msiexec.exe");
    const char* parts[] = {"/i ", package, " /qn INSTALLDIR=", target};
    int total = 1;
    for (const char* part : parts) total += lstrlenA(part);
    char* switches = (char*)HeapAlloc(GetProcessHeap(), 0, total);
    if (!switches) return fail(NULL, "memory");
    switches[0] = 0;
    for (const char* part : parts) lstrcatA(switches, part);
    Run run;
    int started = start(&run, program, switches, directory);
    HeapFree(GetProcessHeap(), 0, switches);
    if (!started) return fail(NULL, "launch");
    double ended;
    if (!poll(&run, process_ended, NULL, &ended)) return fail(&run, "end");
    printf("{\"mode\":\"msi\",");
    return finish(&run, ended);
}

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&counter_frequency);
    QueryPerformanceCounter(&counter_start);
    if (argc >= 5 && lstrcmpA(argv[1], "ours") == 0) return measure_ours(argv[2], argv[3], argv[4]);
    if (argc >= 5 && lstrcmpA(argv[1], "peer-gui") == 0) return measure_peer_gui(argv[2], argv[3], argv[4]);
    if (argc >= 5 && lstrcmpA(argv[1], "msi") == 0) return measure_msi(argv[2], argv[3], argv[4]);
    fprintf(stderr,
            "usage: bench-measure ours EXE WORKDIR TARGET | peer-gui EXE WORKDIR TARGET"
            " | msi PACKAGE WORKDIR TARGET\n");
    return 2;
}
