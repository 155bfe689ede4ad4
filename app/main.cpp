// The installer's main program: start-up, the main window with its menu and gadgets, the event loop, the end path.
// Contract: every end of the program goes through EndProgram (exit code 0); the installation runs inside the loop.
// Kept out of the formatter: every statement carries its source-line store on its own line, which it would split.
// clang-format off
#include <windows.h>

#include "app/fault_report.h"
#include "app/identity.h"
#include "app/install.h"
#include "core/frame.h"
#include "core/strings.h"
#include "fault/fault.h"
#include "ui/gadget.h"
#include "ui/menu.h"
#include "ui/requester.h"
#include "ui/run_guard.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace {
const int SOURCE_FILE = MAIN_SOURCE;
}

// Menu item of the Escape shortcut; the loop treats it like "Nein".
const int ITEM_CANCEL = 6;

int event_kind;
static char* window_title;
static int status_font;

static void add_info_menu() {
    SOURCE_LINE; if (!CreateWindowMenu(INFO_MENU, WindowHandleOf(MAIN_WINDOW))) {
        SOURCE_LINE; return;
    }
    SOURCE_LINE; AddMenuTitle("&Info");
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(product_label).Add(" Version ").Add(version_text);
        SOURCE_LINE; AddMenuItem(0, text.Text());
    }
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add("    ®").Add(customer_line);
        SOURCE_LINE; AddMenuItem(1, text.Text());
    }
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add("    © ").Add(build_date_text).Add("  by Lukas Brennholt");
        SOURCE_LINE; AddMenuItem(2, text.Text());
    }
}

static void build_main_window() {
    {
        SOURCE_LINE; TextBuilder text;
        SOURCE_LINE; text.Add(" Installation der ").Add(product_label).Add(" V.").AddNumber(PRODUCT_VERSION).CommitTo(&window_title);
    }
    SOURCE_LINE; if (!CreateNumberedWindow(MAIN_WINDOW, 500, 500, WINDOW_CLIENT_WIDTH, WINDOW_CLIENT_HEIGHT,
                                           window_title, WS_CAPTION | WS_SYSMENU | WINDOW_CENTRE_SCREEN)) {
        SOURCE_LINE; EndProgram();
    }
    SOURCE_LINE; status_font = CreateNumberedFont(STATUS_FONT, "Verdana", 9, FONT_BOLD);
    SOURCE_LINE; add_info_menu();

    SOURCE_LINE; AddLabel(GADGET_PATH_LABEL, 15, 14, 45, 18, "Zielpfad:");
    SOURCE_LINE; AddTextField(GADGET_PATH_FIELD, 62, 11, 270, 20, target_path);
    {
        SOURCE_LINE; TextBuilder tip;
        SOURCE_LINE; tip.Add(" Zielpfad: ").Add(target_path).Add("  (kann editiert werden) ");
        SOURCE_LINE; AttachToolTip(GADGET_PATH_FIELD, tip.Text());
    }
    SOURCE_LINE; AddPushButton(GADGET_PICK_BUTTON, 340, 10, 35, 22, "Pfad");
    SOURCE_LINE; AttachToolTip(GADGET_PICK_BUTTON, " Zielpfad auswählen ");
    SOURCE_LINE; AddCheckBox(GADGET_SHORTCUT_BOX, 62, 48, 290, 17, " Desktopverknüpfung erzeugen");
    SOURCE_LINE; PutGadgetState(GADGET_SHORTCUT_BOX, 1);
    {
        SOURCE_LINE; TextBuilder status;
        SOURCE_LINE; status.Add(product_label).Add(" nun installieren ?");
        SOURCE_LINE; AddLabel(GADGET_STATUS_LINE, 0, 80, WINDOW_CLIENT_WIDTH, 22, status.Text(), SS_CENTER);
    }
    SOURCE_LINE; ApplyGadgetFont(GADGET_STATUS_LINE, status_font);
    SOURCE_LINE; AddProgressBar(GADGET_PROGRESS_BAR, 48, 110, 294, 15, 0, PROGRESS_TOTAL);
    SOURCE_LINE; ShowOrHideGadget(GADGET_PROGRESS_BAR, 1);
    SOURCE_LINE; int button_y = WINDOW_CLIENT_HEIGHT - button_height - button_bottom_margin;
    SOURCE_LINE; AddPushButton(GADGET_YES_BUTTON, button_centre_x - button_width - button_half_gap, button_y,
                               button_width, button_height, "Ja");
    SOURCE_LINE; AttachToolTip(GADGET_YES_BUTTON, " Installation starten ");
    SOURCE_LINE; AddPushButton(GADGET_NO_BUTTON, button_centre_x + button_half_gap, button_y,
                               button_width, button_height, "Nein");
    SOURCE_LINE; AttachToolTip(GADGET_NO_BUTTON, " Installation abbrechen ");

    // Opened once and never read; its end step releases it. Nothing of it can be seen, so it is opened once the
    // window is ready for input, in a pause of the user's or before the first gadget, menu or close event (it
    // takes about 5 ms).
    SOURCE_LINE; OpenKeyboardDeviceWhenReady(WindowHandleOf(MAIN_WINDOW));
    SOURCE_LINE; AddShortcut(MAIN_WINDOW, VK_ESCAPE, ITEM_CANCEL);
}

// "Pfad": the picker opens at target_path, not at what may have been typed into the field.
static void pick_target_folder() {
    SOURCE_LINE; TextBuilder title;
    SOURCE_LINE; title.Add(" Installationspfad für ").Add(edition_prefix).Add("BrindaVel auswählen");
    SOURCE_LINE; TextBuilder answer;
    SOURCE_LINE; answer.Add(ChooseFolder(title.Text(), target_path, -1));
    SOURCE_LINE; if (answer.Length() == 0) {
        SOURCE_LINE; return;
    }
    SOURCE_LINE; answer.CommitTo(&target_path);
    SOURCE_LINE; PutGadgetText(GADGET_PATH_FIELD, target_path);
    SOURCE_LINE; TextBuilder tip;
    SOURCE_LINE; tip.Add(" Zielpfad: ").Add(target_path).Add(" ");
    SOURCE_LINE; AttachToolTip(GADGET_PATH_FIELD, tip.Text());
}

static void run_event_loop() {
    SOURCE_LINE; do {
        SOURCE_LINE; take_pause(LOOP_PAUSE_MS);
        SOURCE_LINE; event_kind = WaitEvent();
        SOURCE_LINE; if (event_kind == EVENT_MENU && EventSourceItem() == ITEM_CANCEL) {
            SOURCE_LINE; quit_state = QUIT_CANCELLED;
        }
        SOURCE_LINE; if (event_kind == EVENT_GADGET) {
            SOURCE_LINE; switch (EventSourceGadget()) {
            case GADGET_PICK_BUTTON:
                SOURCE_LINE; pick_target_folder();
                SOURCE_LINE; break;
            case GADGET_YES_BUTTON:
                SOURCE_LINE; run_installation();
                SOURCE_LINE; break;
            case GADGET_NO_BUTTON:
                SOURCE_LINE; quit_state = QUIT_CANCELLED;
                SOURCE_LINE; break;
            default:
                SOURCE_LINE; break;
            }
        }
    } while (quit_state <= QUIT_RUNNING && event_kind != EVENT_CLOSE_WINDOW);
}

// The loader calls this directly (the link names it as the entry point): the C runtime's own start-up is not linked.
// Nothing here needs it: no command line, no static constructors or atexit, no thread-local variables, no stdio;
// the few C library functions used are called straight in the system's C library, which starts itself.
extern "C" [[noreturn]] DWORD WINAPI ProgramEntry(void*) {
    PlugWindowRuntime();
    PlugFaultTrap();
    StartRuntime();
    SOURCE_LINE; set_identity_texts();
    SOURCE_LINE; SetSourceFiles(APPLICATION_SOURCES, sizeof APPLICATION_SOURCES / sizeof APPLICATION_SOURCES[0]);
    SOURCE_LINE; InstallFaultHandler(report_program_fault);
    SOURCE_LINE; set_geometry_constants();
    // A second start from the working folder of a running setup would stage over that setup's files: it brings
    // the running one to the front instead and ends, with no window of its own and nothing staged or cleaned up.
    SOURCE_LINE; if (!ClaimWorkingFolder("BrindaVelSetup")) {
        SOURCE_LINE; EndProgram();
    }
    SOURCE_LINE; build_main_window();
    SOURCE_LINE; run_event_loop();
    SOURCE_LINE; clean_up_after_loop();
    SOURCE_LINE; EndProgram();
}
