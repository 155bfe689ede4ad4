// Installer start-up state: recipient variant, product identity texts, Windows version code, special folders, geometry.
// Contract: set_identity_texts runs once after StartRuntime; the classification functions are pure and need no runtime.
#pragma once

// --- Application globals of the start-up (zero / empty until set_identity_texts runs) ---

extern char* customer_line;
extern char* edition_prefix;
extern char* version_text;
extern char* build_date_text;
extern char* target_path;  // ends with a backslash once set
extern char* executable_name;
extern char* product_label;
extern int quit_state;   // QUIT_RUNNING, QUIT_INSTALLED or QUIT_CANCELLED
extern int step_result;  // special-folder id at start, later the result of each file-system step
extern int button_width;
extern int button_height;
extern int button_centre_x;
extern int button_half_gap;
extern int button_bottom_margin;

const int QUIT_RUNNING = 0;
const int QUIT_INSTALLED = 1;
const int QUIT_CANCELLED = 2;

// The main window, its menu and the status line's font, by number.
const int MAIN_WINDOW = 0;
const int INFO_MENU = 0;
const int STATUS_FONT = 1;

const int PRODUCT_VERSION = 23;
// Build timestamp of the product release, seconds since 1970 without zone shift (24.10.2012).
const int BUILD_TIMESTAMP = 1351078908;
const int WINDOW_CLIENT_WIDTH = 390;
const int WINDOW_CLIENT_HEIGHT = 170;

// --- Windows version ---

// Version code of the version fields. queryOk: the first GetVersionEx succeeded; productType: 1 workstation,
// any other value (also the result of a failed second query) counts as not workstation.
int ClassifyOsVersion(int queryOk, int platformId, int major, int minor, int productType);
// Special-folder id of the default target folder for a version code: 42 above XP's (60), else 38.
int ProgramFilesFolderId(int osCode);

// The file-system path of a special folder as the shell names it, in wide text, followed by name, into path (room
// for MAX_PATH characters and name); 0 when the folder cannot be resolved.
int get_special_folder_file_wide(int csidl, const wchar_t* name, wchar_t* path);

// --- Start-up steps of the installer ---

// Customer line, edition prefix, version and date texts, default target folder, executable name, product label.
// Ends the program with the variant message when the build selects more than one recipient.
void set_identity_texts();
// quit_state and the five button geometry constants.
void set_geometry_constants();
