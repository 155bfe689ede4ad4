// The installation: target folder, payload staging in the working directory, deployment, desktop shortcut, result, clean-up.
// Contract: run_installation either ends the program or returns with quit_state 1; a user's own file in the working
// directory is never moved, written or removed, whenever and however the program ends.
// Kept out of the formatter: every statement carries its source-line store on its own line, which it would split.
// clang-format off
#include "app/install.h"

#include <windows.h>
#include <shlobj.h>

#include "app/fault_report.h"
#include "app/identity.h"
#include "core/dates.h"
#include "core/files.h"
#include "core/frame.h"
#include "core/registry.h"
#include "core/strings.h"
#include "payload/payload.h"
#include "ui/gadget.h"
#include "ui/requester.h"
#include "ui/window.h"

namespace {
const int SOURCE_FILE = INSTALL_SOURCE;
}

int progress_count;
int install_failures;

// The listing number of the target folder's test; what an existing target folder counts on the progress bar.
static const int TARGET_LISTING = 0;
static const int EXISTING_TARGET_STEPS = 2;

// Working state of the installation.
static int found_marker;
static char* directory_names;
static int question_answer;
static int wait_start;
static DWORD wait_start_ticks;
static char* work_text;
// The sub-folders of the target that receive the worksheets and the notes.
static const char WORKSHEET_FOLDER[] = "DasyLab\\";
static const char NOTES_FOLDER[] = "Text\\";
// The desktop folder and the link's name behind it.
static const wchar_t LINK_NAME[] = L"\\BrindaVel.lnk";
static wchar_t link_file[MAX_PATH + sizeof LINK_NAME / sizeof LINK_NAME[0]];
static char* working_folder;
static char* argument_text;
static char* description_text;
static char* executable_path;

// What this run staged in the working directory, per payload file: the staged file stays open as a numbered file
// object (STAGED_FILE_NUMBER + file) until the clean-up, so that no other program can change or swap it meanwhile.
static int staged_by_this_run[PAYLOAD_FILE_COUNT];
static const int STAGED_FILE_NUMBER = 100;
// The staged file is itself an installed copy (working directory = its folder under the target).
static int staged_is_installed_copy[PAYLOAD_FILE_COUNT];

static const char* const support_file_names[PAYLOAD_FILE_COUNT] = {
    nullptr,  // the executable: executable_name
    "Notiz.txt",
    "Temperatur-1.dsb", "Temperatur-2.dsb", "Temperatur-3.dsb",
    "Temperatur-4.dsb", "Temperatur-5.dsb", "Temperatur-6.dsb",
    "Temperatur-1'.dsb", "Temperatur-2'.dsb", "Temperatur-3'.dsb",
    "Temperatur-4'.dsb", "Temperatur-5'.dsb", "Temperatur-6'.dsb",
};

static const char* const payload_marks[PAYLOAD_FILE_COUNT + 1] = {
    payload_mark_0, payload_mark_1, payload_mark_2, payload_mark_3, payload_mark_4,
    payload_mark_5, payload_mark_6, payload_mark_7, payload_mark_8, payload_mark_9,
    payload_mark_10, payload_mark_11, payload_mark_12, payload_mark_13, payload_mark_14,
};

// Clean-up order of the support files: the worksheet pairs, then the notes text.
static const unsigned char clean_up_order[PAYLOAD_FILE_COUNT - 1] = { 2, 8, 3, 9, 4, 10, 5, 11, 6, 12, 7, 13, 1 };

int SettleWaitOver(int result, int nowSeconds, int startSeconds, unsigned elapsedMilliseconds) {
    // By difference: start + 2 would overflow in the last two seconds of the 32-bit clock.
    int secondsPassed = static_cast<int>(static_cast<unsigned>(nowSeconds) - static_cast<unsigned>(startSeconds));
    return result != 0 || secondsPassed > SETTLE_SECONDS || elapsedMilliseconds >= SETTLE_LIMIT_MS;
}

// 1 when every copy and the shortcut step succeeded and both sub-folders exist under the target.
static int InstallationComplete(int failures, int worksheetFolderExists, int notesFolderExists) {
    return failures == 0 && worksheetFolderExists && notesFolderExists;
}

const char* payload_file_name(int file) {
    return file == PAYLOAD_EXECUTABLE ? executable_name : support_file_names[file];
}

const char* payload_start(int file) {
    return payload_marks[file];
}

const char* payload_end(int file) {
    return payload_marks[file + 1];
}

// --- Settle wait: the frame around every folder creation and file copy ---

static void begin_settle_wait() {
    SOURCE_LINE; wait_start = CurrentDate();
    SOURCE_LINE; wait_start_ticks = GetTickCount();
}

// The step itself is never repeated; the wait only delays the verdict. The tick count keeps a wall clock
// that is set back from holding the installer.
static void settle_wait() {
    SOURCE_LINE; do {
        SOURCE_LINE; take_pause(SETTLE_STEP_MS);
    } while (!SettleWaitOver(step_result, CurrentDate(), wait_start, GetTickCount() - wait_start_ticks));
}

static int folder_exists(const char* path) {
    SOURCE_LINE; DWORD attributes = GetFileAttributesA(path);
    SOURCE_LINE; return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// 1 when the working directory is the folder under the target where this payload file is installed.
static int staged_name_is_installed_copy(int file) {
    SOURCE_LINE; TextBuilder folder;
    SOURCE_LINE; folder.Add(target_path);
    SOURCE_LINE; if (file == PAYLOAD_NOTES) {
        SOURCE_LINE; folder.Add(NOTES_FOLDER);
    } else if (file != PAYLOAD_EXECUTABLE) {
        SOURCE_LINE; folder.Add(WORKSHEET_FOLDER);
    }
    SOURCE_LINE; return IsSameFolder(folder.Text(), ".");
}

// --- Target folder ---

// Path field -> target_path (ending in a backslash), existence test, question, one-level creation. Ends the program
// on refusal.
static void prepare_target_directory() {
    {
        SOURCE_LINE; TextBuilder field;
        SOURCE_LINE; field.Add(ReadGadgetText(GADGET_PATH_FIELD, -1)).CommitTo(&target_path);
    }
    {
        SOURCE_LINE; TextBuilder last;
        SOURCE_LINE; last.Add(RightText(target_path, 1, -1));
        SOURCE_LINE; if (!last.Equals("\\")) {
            SOURCE_LINE; TextBuilder completed;
            SOURCE_LINE; completed.Add(target_path).Add("\\").CommitTo(&target_path);
        }
    }
    SOURCE_LINE; PutGadgetText(GADGET_PATH_FIELD, target_path);
    // Every installed path must fit the platform's limit; a longer folder text is refused before anything
    // is created, so no folder appears under a cut name.
    SOURCE_LINE; if (TextLength(target_path) > TARGET_PATH_LIMIT) {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add("Der Zielpfad  '").Add(target_path).Add("'  ist zu lang!  \n\n")
                         .Add("Er darf höchstens ").AddNumber(TARGET_PATH_LIMIT).Add(" Zeichen haben.  ");
        SOURCE_LINE; ShowMessageBox(" Installationsfehler ", text.Text(), MB_ICONERROR | MB_TOPMOST);
        SOURCE_LINE; EndProgram();
    }

    // The folder exists when the names of its sub-directories contain "..": an ordinary folder lists "." and "..".
    SOURCE_LINE; found_marker = 0;
    SOURCE_LINE; if (ExamineFolder(TARGET_LISTING, target_path, "*.*")) {
        SOURCE_LINE; AssignText(&directory_names, "");
        SOURCE_LINE; while (NextFolderEntry(TARGET_LISTING)) {
            SOURCE_LINE; if (FolderEntryType(TARGET_LISTING) == FOLDER_ENTRY_DIRECTORY) {
                SOURCE_LINE; TextBuilder names;
                SOURCE_LINE; names.Add(directory_names).Add(FolderEntryName(TARGET_LISTING, -1))
                                 .CommitTo(&directory_names);
                SOURCE_LINE; found_marker = FindText(directory_names, "..", 1);
            }
        }
        SOURCE_LINE; FinishFolder(TARGET_LISTING);
    }

    SOURCE_LINE; if (found_marker != 0) {
        SOURCE_LINE; progress_count += EXISTING_TARGET_STEPS;
        SOURCE_LINE; return;
    }
    {
        SOURCE_LINE; TextBuilder question;
        SOURCE_LINE; question.Add("Der eingestellte Zielpfad existiert noch nicht.  \n\n")
                             .Add("Soll der Zielpfad \n\n    ").Add(target_path).Add("  \n\n")
                             .Add("angelegt werden ? ");
        SOURCE_LINE; question_answer = ShowMessageBox(" Zielpfad für Profi-Bedienprogramm BrindaVel ", question.Text(),
                                                      MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
    }
    SOURCE_LINE; if (question_answer != IDYES) {
        SOURCE_LINE; EndProgram();
    }
    SOURCE_LINE; begin_settle_wait();
    SOURCE_LINE; step_result = CreateFolder(target_path);
    SOURCE_LINE; settle_wait();
    SOURCE_LINE; if (step_result == 0) {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add("Der Zielpfad  '").Add(target_path).Add("'  konnte nicht angelegt werden!  ");
        SOURCE_LINE; ShowMessageBox(" Installationsfehler ", text.Text(), MB_ICONERROR | MB_TOPMOST);
        SOURCE_LINE; EndProgram();
    }
}

// --- Payload and staging ---

int write_embedded_file(const char* name, const char* start, const char* end) {
    SOURCE_LINE; char* file_name = nullptr;
    SOURCE_LINE; InitParameterText(&file_name, name);
    SOURCE_LINE; int file = CreateFileObject(ANY_NUMBER, file_name);
    SOURCE_LINE; if (file == 0) {
        SOURCE_LINE; FreeText(file_name);
        SOURCE_LINE; return 0;
    }
    SOURCE_LINE; int length = static_cast<int>(end - start);
    SOURCE_LINE; int written = length > 0 ? WriteFileData(file, start, length) : 0;
    SOURCE_LINE; int closed = CloseFileObjectChecked(file);
    SOURCE_LINE; int complete = written == length && closed;
    // A file that did not receive every byte is no copy of the payload: it goes, and the caller reports it.
    SOURCE_LINE; if (!complete) {
        SOURCE_LINE; DeleteFileAt(file_name);
    }
    SOURCE_LINE; FreeText(file_name);
    SOURCE_LINE; return complete;
}

// Stages one payload file under its name in the working directory, only where no entry of that name is there: the
// new file is created, written and held open (others may read it, but neither change, rename nor replace it), so
// that a name another program put there first (a user's file, a link to a file elsewhere) is never moved, written or
// followed. Such a file keeps its name and content; deployment writes the payload's own bytes under the target
// anyway. 0 when the name can hold no file of ours: a folder, a read-only file, a name or folder that refuses it.
int stage_payload_file(int file) {
    SOURCE_LINE; const char* name = payload_file_name(file);
    SOURCE_LINE; int number = STAGED_FILE_NUMBER + file;
    SOURCE_LINE; staged_is_installed_copy[file] = staged_name_is_installed_copy(file);
    SOURCE_LINE; if (CreateNewFileObject(number, name)) {
        SOURCE_LINE; int length = static_cast<int>(payload_end(file) - payload_start(file));
        SOURCE_LINE; if (length > 0 && WriteFileData(number, payload_start(file), length) != length) {
            // A staged file without every byte is no copy of the payload: it goes, and the caller reports it.
            SOURCE_LINE; DeleteFileObject(number);
            SOURCE_LINE; return 0;
        }
        SOURCE_LINE; staged_by_this_run[file] = 1;
        SOURCE_LINE; return 1;
    }
    SOURCE_LINE; DWORD attributes = GetFileAttributesA(name);
    SOURCE_LINE; return attributes != INVALID_FILE_ATTRIBUTES &&
                        !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

static void report_file_not_created(const char* name) {
    SOURCE_LINE; TextBuilder text;
    SOURCE_LINE; text.Add("Die Datei  '").Add(name).Add("'  konnte nicht erzeugt werden!   ");
    SOURCE_LINE; ShowMessageBox(" Installationsfehler ", text.Text(), MB_ICONERROR | MB_TOPMOST);
}

// Stages Notiz.txt and the twelve worksheets in the working directory; ends the program on the first failure.
static void stage_support_files() {
    SOURCE_LINE; for (int file = PAYLOAD_NOTES; file < PAYLOAD_FILE_COUNT; ++file) {
        SOURCE_LINE; if (!stage_payload_file(file)) {
            SOURCE_LINE; report_file_not_created(payload_file_name(file));
            SOURCE_LINE; EndProgram();
        }
    }
}

// --- Deployment under the target folder ---

// One copy of a staged file under the target inside a settle wait, written from the payload's own bytes: what lands
// under the target never depends on what another program did in the working directory. A copy that fails leaves
// no cut file (write_embedded_file removes what it wrote). An installed copy that this run staged in the working
// directory is already in place.
static void copy_staged_file(int file, const char* destination) {
    SOURCE_LINE; begin_settle_wait();
    SOURCE_LINE; step_result = staged_by_this_run[file] && staged_is_installed_copy[file]
                                   ? 1 : write_embedded_file(destination, payload_start(file), payload_end(file));
    SOURCE_LINE; settle_wait();
    SOURCE_LINE; if (step_result == 0) {
        SOURCE_LINE; ++install_failures;
    }
}

static void create_folder_step(const char* folder) {
    SOURCE_LINE; begin_settle_wait();
    SOURCE_LINE; step_result = CreateFolder(folder);
    SOURCE_LINE; settle_wait();
}

static void deploy_worksheets() {
    {
        SOURCE_LINE; TextBuilder folder;
        SOURCE_LINE; folder.Add(target_path).Add(WORKSHEET_FOLDER);
        SOURCE_LINE; create_folder_step(folder.Text());
    }
    SOURCE_LINE; progress_count += step_result;
    SOURCE_LINE; PutGadgetState(GADGET_PROGRESS_BAR, progress_count);
    SOURCE_LINE; for (int pair = 0; pair < WORKSHEET_PAIRS; ++pair) {
        SOURCE_LINE; for (int file = PAYLOAD_FIRST_WORKSHEET + pair; file < PAYLOAD_FILE_COUNT;
                          file += WORKSHEET_PAIRS) {
            SOURCE_LINE; TextBuilder destination;
            SOURCE_LINE; destination.Add(target_path).Add(WORKSHEET_FOLDER).Add(payload_file_name(file));
            SOURCE_LINE; copy_staged_file(file, destination.Text());
            SOURCE_LINE; progress_count += step_result;
            SOURCE_LINE; PutGadgetState(GADGET_PROGRESS_BAR, progress_count);
        }
    }
}

void deploy_notes() {
    {
        SOURCE_LINE; TextBuilder folder;
        SOURCE_LINE; folder.Add(target_path).Add(NOTES_FOLDER);
        SOURCE_LINE; create_folder_step(folder.Text());
    }
    SOURCE_LINE; progress_count += step_result;
    {
        SOURCE_LINE; TextBuilder destination;
        SOURCE_LINE; destination.Add(target_path).Add(NOTES_FOLDER).Add(payload_file_name(PAYLOAD_NOTES));
        SOURCE_LINE; copy_staged_file(PAYLOAD_NOTES, destination.Text());
    }
    SOURCE_LINE; progress_count += step_result;
}

// --- Desktop shortcut ---

// COM identities of the shell link, kept in the program's own data.
static const GUID shell_link_class = { 0x00021401, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
static const GUID shell_link_interface = { 0x000214EE, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
static const GUID persist_file_interface = { 0x0000010B, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };

// 1 when the shell link was saved, else 0. The link file's name is wide text: the desktop of a user whose name has
// letters outside the ANSI code page cannot be named in it.
static int create_shell_link(const char* targetPath, const wchar_t* linkFile, const char* arguments,
                             const char* description, const char* workingFolder, int showCommand, int hotKey,
                             const char* iconFile, int iconIndex) {
    SOURCE_LINE; char* target_text = nullptr;
    SOURCE_LINE; char* arguments_text = nullptr;
    SOURCE_LINE; char* description_copy = nullptr;
    SOURCE_LINE; char* folder_text = nullptr;
    SOURCE_LINE; char* icon_text = nullptr;
    SOURCE_LINE; InitParameterText(&target_text, targetPath);
    SOURCE_LINE; InitParameterText(&arguments_text, arguments);
    SOURCE_LINE; InitParameterText(&description_copy, description);
    SOURCE_LINE; InitParameterText(&folder_text, workingFolder);
    SOURCE_LINE; InitParameterText(&icon_text, iconFile);
    SOURCE_LINE; int result = 0;
    SOURCE_LINE; CoInitialize(nullptr);
    SOURCE_LINE; IShellLinkA* link = nullptr;
    SOURCE_LINE; if (CoCreateInstance(shell_link_class, nullptr, CLSCTX_INPROC_SERVER, shell_link_interface,
                                      reinterpret_cast<void**>(&link)) == S_OK) {
        SOURCE_LINE; link->SetPath(target_text ? target_text : "");
        SOURCE_LINE; link->SetArguments(arguments_text ? arguments_text : "");
        SOURCE_LINE; link->SetWorkingDirectory(folder_text ? folder_text : "");
        SOURCE_LINE; link->SetDescription(description_copy ? description_copy : "");
        SOURCE_LINE; link->SetShowCmd(showCommand);
        SOURCE_LINE; link->SetHotkey(static_cast<WORD>(hotKey));
        SOURCE_LINE; link->SetIconLocation(icon_text ? icon_text : "", iconIndex);
        SOURCE_LINE; IPersistFile* persist = nullptr;
        SOURCE_LINE; if (link->QueryInterface(persist_file_interface, reinterpret_cast<void**>(&persist)) == S_OK) {
            // Only a saved link counts: a desktop that cannot be written is a failed step.
            SOURCE_LINE; result = SUCCEEDED(persist->Save(linkFile, TRUE)) ? 1 : 0;
            SOURCE_LINE; persist->Release();
        }
        SOURCE_LINE; link->Release();
    }
    SOURCE_LINE; CoUninitialize();
    SOURCE_LINE; FreeText(target_text);
    SOURCE_LINE; FreeText(arguments_text);
    SOURCE_LINE; FreeText(description_copy);
    SOURCE_LINE; FreeText(folder_text);
    SOURCE_LINE; FreeText(icon_text);
    SOURCE_LINE; return result;
}

static void create_desktop_shortcut() {
    // The desktop as the shell names it, in wide text: read in the ANSI code page, the desktop of a user "Łukasz"
    // came back best-fitted as C:\users\Lukasz\Desktop, a folder that is not the user's (seen on Wine).
    SOURCE_LINE; int desktop_found = get_special_folder_file_wide(CSIDL_DESKTOPDIRECTORY, LINK_NAME, link_file);
    SOURCE_LINE; AssignText(&working_folder, target_path);
    SOURCE_LINE; AssignText(&argument_text, "");
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(edition_prefix).Add("Bedienprogramm für BrindaVel").CommitTo(&description_text);
    }
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(target_path).Add(executable_name).CommitTo(&executable_path);
    }
    {
        SOURCE_LINE; TextBuilder quoted_target;
        SOURCE_LINE; quoted_target.Add("\"").Add(executable_path).Add("\"");
        SOURCE_LINE; TextBuilder quoted_arguments;
        SOURCE_LINE; quoted_arguments.Add("\"").Add(argument_text).Add("\"");
        // A desktop that cannot be resolved is a failed step, like a save that fails.
        SOURCE_LINE; step_result = desktop_found ? create_shell_link(quoted_target.Text(), link_file,
                                                                     quoted_arguments.Text(), description_text,
                                                                     working_folder, SW_SHOWNORMAL, 0,
                                                                     executable_path, 0) : 0;
    }
    SOURCE_LINE; progress_count += step_result;
    SOURCE_LINE; if (step_result == 0) {
        SOURCE_LINE; ++install_failures;
    }
}

// --- Installation sequence ---

static int sub_folder_exists(const char* name) {
    SOURCE_LINE; TextBuilder folder;
    SOURCE_LINE; folder.Add(target_path).Add(name);
    SOURCE_LINE; return folder_exists(folder.Text());
}

static void show_result_message() {
    SOURCE_LINE; int complete = InstallationComplete(install_failures, sub_folder_exists(WORKSHEET_FOLDER),
                                                     sub_folder_exists(NOTES_FOLDER));
    SOURCE_LINE; TextBuilder title;
    SOURCE_LINE; title.Add(" ").Add(edition_prefix).Add("Software für BrindaVel ");
    SOURCE_LINE; TextBuilder text;
    SOURCE_LINE; text.Add("Die Installation der ").Add(edition_prefix).Add("Software   \n")
                     .Add("Version ").Add(version_text)
                     .Add(complete ? " war erfolgreich !   " : " war nicht erfolgreich !   ");
    SOURCE_LINE; ShowMessageBox(title.Text(), text.Text(),
                                complete ? MB_ICONINFORMATION | MB_TOPMOST : MB_ICONERROR | MB_TOPMOST);
}

void run_installation() {
    SOURCE_LINE; ShowOrHideGadget(GADGET_PROGRESS_BAR, 0);
    SOURCE_LINE; prepare_target_directory();
    SOURCE_LINE; ShowOrHideGadget(GADGET_NO_BUTTON, 1);
    SOURCE_LINE; ShowOrHideGadget(GADGET_YES_BUTTON, 1);
    SOURCE_LINE; PutGadgetText(GADGET_STATUS_LINE, "Die Dateien werden installiert ...     ");
    SOURCE_LINE; while (PollEvent() != EVENT_NONE) {
    }
    SOURCE_LINE; take_pause(DRAIN_PAUSE_MS);
    SOURCE_LINE; stage_support_files();
    SOURCE_LINE; if (!stage_payload_file(PAYLOAD_EXECUTABLE)) {
        SOURCE_LINE; report_file_not_created(executable_name);
        SOURCE_LINE; EndProgram();
    }
    SOURCE_LINE; deploy_worksheets();
    SOURCE_LINE; deploy_notes();
    SOURCE_LINE; if (ReadGadgetState(GADGET_SHORTCUT_BOX) != 0) {
        SOURCE_LINE; create_desktop_shortcut();
    } else {
        SOURCE_LINE; progress_count += 1;
    }
    SOURCE_LINE; PutGadgetState(GADGET_PROGRESS_BAR, progress_count);
    // The target exists by now, so this creation fails and holds the installation for its full settle wait.
    SOURCE_LINE; create_folder_step(target_path);
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(target_path).Add(executable_name).CommitTo(&work_text);
    }
    SOURCE_LINE; copy_staged_file(PAYLOAD_EXECUTABLE, work_text);
    SOURCE_LINE; progress_count += step_result;
    SOURCE_LINE; PutGadgetState(GADGET_PROGRESS_BAR, progress_count);
    SOURCE_LINE; deploy_worksheets();
    SOURCE_LINE; deploy_notes();
    // The second notes copy is counted too, so the bar ends where the count ends.
    SOURCE_LINE; PutGadgetState(GADGET_PROGRESS_BAR, progress_count);
    SOURCE_LINE; show_result_message();
    SOURCE_LINE; quit_state = QUIT_INSTALLED;
}

// --- Ends ---

// Removes one file that this run staged, through the handle it holds (never a file another program put under that
// name); an installed copy is only let go.
static void remove_staged_file(int file) {
    SOURCE_LINE; if (staged_by_this_run[file]) {
        SOURCE_LINE; if (staged_is_installed_copy[file]) {
            SOURCE_LINE; CloseFileObject(STAGED_FILE_NUMBER + file);
        } else {
            SOURCE_LINE; DeleteFileObject(STAGED_FILE_NUMBER + file);
        }
    }
    SOURCE_LINE; staged_by_this_run[file] = 0;
}

void clean_up_after_loop() {
    SOURCE_LINE; DestroyNumberedWindow(MAIN_WINDOW);
    SOURCE_LINE; for (int step = 0; step < PAYLOAD_FILE_COUNT - 1; ++step) {
        SOURCE_LINE; remove_staged_file(clean_up_order[step]);
    }
    SOURCE_LINE; take_pause(CLEAN_UP_PAUSE_MS);
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(CurrentDirectory(-1)).Apply(UpperCaseText).CommitTo(&work_text);
    }
    {
        SOURCE_LINE; TextBuilder drive;
        SOURCE_LINE; drive.Add(LeftText(work_text, 2, -1));
        // On drive S the staged executable stays: it is only let go.
        SOURCE_LINE; if (!drive.Equals("S:")) {
            SOURCE_LINE; remove_staged_file(PAYLOAD_EXECUTABLE);
        } else {
            SOURCE_LINE; CloseFileObject(STAGED_FILE_NUMBER + PAYLOAD_EXECUTABLE);
        }
    }
}
