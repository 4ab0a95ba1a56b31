#pragma once
// Identifiers shared by the resource script and the code.

#define MIRDAL_VERSION_MAJOR 1
#define MIRDAL_VERSION_MINOR 0
#define MIRDAL_VERSION_REVISION 0
#define MIRDAL_VERSION_TEXT "1.0.0"

#define IDI_MIRDAL 1
#define IDR_MAINMENU 100
#define IDR_ACCELERATORS 101
#define IDB_TOOLBAR 110
#define IDB_FILE16 111
#define IDB_FILE32 112
#define IDB_DIR16 113
#define IDD_UNDO 120
#define IDD_BROKEN 130

// Menu items: base + index of the item in its menu.
#define IDM_F0 1000
#define IDM_F1 1001
#define IDM_F3 1003
#define IDM_F5 1005
#define IDM_R0 1100
#define IDM_R2 1102
#define IDM_R3 1103
#define IDM_R4 1104
#define IDM_R5 1105
#define IDM_R6 1106
#define IDM_R7 1107
#define IDM_R10 1110
#define IDM_R9 1109
#define IDM_V0 1200
#define IDM_V1 1201
#define IDM_V2 1202
#define IDM_V3 1203

// Toolbar buttons.
#define IDC_BTN_REG 2000
#define IDC_BTN_UNREG 2001
#define IDC_BTN_REGREAD 2002
#define IDC_BTN_REGBAT 2003
#define IDC_BTN_VIEW 2004

// Controls.
#define IDC_TRVDIR 3000
#define IDC_LSVFILE 3001
#define IDC_LSVREG 3002
#define IDC_TLBMIRDAL 3003
#define IDC_STBMIRDAL 3004
#define IDC_PICRES 3005
#define IDC_TXTRES 3006
#define IDC_CMDCLOSE 3007
#define IDC_UNDO_LIST 3010
#define IDC_UNDO_WHERE 3011

// Texts.
#define IDS_CAPTION 1
#define IDS_TITLE 2
#define IDS_CLOSE 3
#define IDS_BTN_REG 10
#define IDS_BTN_UNREG 11
#define IDS_BTN_REGREAD 12
#define IDS_BTN_REGBAT 13
#define IDS_BTN_VIEW 14
#define IDS_PANEL_FCOUNT 20
#define IDS_PANEL_PATH 21
#define IDS_COL_NAME 30
#define IDS_COL_SIZE 31
#define IDS_COL_TYPE 32
#define IDS_COL_DATE 33
#define IDS_COL_LIBNAME 34
#define IDS_COL_VERSION 35
#define IDS_COL_PATH 36
#define IDS_COL_CLSID 37
#define IDS_MSG_BUSY 50
#define IDS_MSG_REGISTRY_FAILED 51
#define IDS_MSG_FOLDER_NOT_IN_TREE 52
#define IDS_MSG_NAME_NOT_ANSI 53
#define IDS_LOG_REGISTER 60
#define IDS_LOG_UNREGISTER 61
#define IDS_LOG_SUCCEEDED 62
#define IDS_LOG_OLE_FAILED 63
#define IDS_LOG_LOAD_FAILED 64
#define IDS_LOG_NO_ENTRY 65
#define IDS_LOG_FAILED_CODE 66
#define IDS_LOG_RUN_DONE 67
#define IDS_LOG_REG_BATCH 68
#define IDS_LOG_UNREG_BATCH 69
#define IDS_LOG_BATCH_DONE 70
#define IDS_BATCH_FILTER 71

// Info tip of the file list.
#define IDS_TIP_MACHINE 150
#define IDS_TIP_NOT_PE 151
#define IDS_TIP_OTHER_MACHINE 152
#define IDS_TIP_UNREADABLE 153
#define IDS_TIP_YES 154
#define IDS_TIP_NO 155
#define IDS_TIP_TYPELIB 156
#define IDS_TIP_VERSION 157
#define IDS_TIP_DESCRIPTION 158
#define IDS_TIP_MISSING 159

// Texts of registering for the current user and of exporting a registration (220-249).
#define IDS_LOG_REGISTER_USER 220
#define IDS_LOG_UNREGISTER_USER 221
// The file's line of an export run: its path, then this.
#define IDS_LOG_EXPORT 222
// After a file's outcome: %1 the number of keys, %2 of values captured (FormatMessage inserts).
#define IDS_LOG_CAPTURED 223
// Before the path of the .reg file written.
#define IDS_LOG_EXPORT_FILE 224
#define IDS_LOG_EXPORT_DONE 225
// The save dialog's filter, "|" between its parts as in IDS_BATCH_FILTER.
#define IDS_REG_FILTER 226

// Runs with administrator rights (230-239).
#define IDS_LOG_REGISTER_ADMIN 230
#define IDS_LOG_UNREGISTER_ADMIN 231
// The run's last line when the user declined the prompt for administrator rights.
#define IDS_LOG_ELEVATION_DECLINED 232
// After the outcome of a file refused for lack of rights, in a window without them.
#define IDS_WHY_NEEDS_ADMIN 233
// The meaning of TYPE_E_REGISTRYACCESS, for which the system has no text.
#define IDS_MEANING_TYPELIB_REGISTRY 234

// Registration hosts: why a file's registration went as it did.
#define IDS_WHY_NOT_PE 100
#define IDS_WHY_MACHINE 101
#define IDS_WHY_X64_ON_X86 102
#define IDS_WHY_MISSING_DLLS 103
#define IDS_WHY_LOAD_ERROR 104
#define IDS_WHY_CRASHED 105
#define IDS_WHY_ENDED 106
#define IDS_WHY_TIMEOUT 107
#define IDS_WHY_NO_HOST 108
#define IDS_WHY_HOST_NOT_READY 109
#define IDS_WHY_CRASHED_AT 110

// The journal and undoing a run (250-279).
// The undo dialog's columns.
#define IDS_UNDO_COL_TIME 250
#define IDS_UNDO_COL_KIND 251
#define IDS_UNDO_COL_FILES 252
#define IDS_UNDO_COL_FIRST 253
// A run's kind: IDS_UNDO_KIND + 2 * scope (machine, current user, administrator) + 1 for an unregistration.
#define IDS_UNDO_KIND 254
#define IDS_UNDO_UNREADABLE 260
#define IDS_MSG_UNDO_UNREADABLE 261
// The file's line of an undo: its path, then this.
#define IDS_LOG_UNDO_REGISTER 262
#define IDS_LOG_UNDO_UNREGISTER 263
#define IDS_LOG_UNDONE 264
// Before "key\value" of a value left as it is.
#define IDS_LOG_KEPT 265
#define IDS_LOG_UNDO_DONE 266
// The journal: %1 the system's text of why an entry could not be written.
#define IDS_LOG_JOURNAL_FAILED 480
#define IDS_LOG_NO_CHANGES 481
#define IDS_LOG_NOT_AS_ADMIN 482
#define IDS_LOG_UNDO_DAMAGED 483
// Undoing a run once, by the window that took its file (530-549).
#define IDS_MSG_UNDO_ALREADY 530
#define IDS_MSG_UNDO_IN_USE 531
// %1 how many keys and values were kept as they were.
#define IDS_LOG_UNDO_DONE_KEPT 532
// %1 the journal folders that could not be read.
#define IDS_UNDO_UNREACHABLE 533

// Load failures named down to their root, and the info tip's reading of them (280-299).
// %1 the DLL, %2 the function or "#" and its ordinal.
#define IDS_WHY_MISSING_FUNCTION 280
// After a missing DLL's name: %1 the runtime, from IDS_RUNTIME_VB or IDS_RUNTIME_VC.
#define IDS_WHY_INSTALL 281
// %1 the version ("6.0"), %2 the bitness in bits.
#define IDS_RUNTIME_VB 282
// %1 the release ("2013", "2015-2022"), %2 x86 or x64.
#define IDS_RUNTIME_VC 283
#define IDS_WHY_DOTNET 284
// A sentence per class of load error; %1 the error code.
#define IDS_WHY_MOD_NOT_FOUND 285
#define IDS_WHY_PROC_NOT_FOUND 286
#define IDS_WHY_BAD_FORMAT 287
#define IDS_WHY_DLLMAIN 288
#define IDS_WHY_NOACCESS 289
#define IDS_WHY_DENIED 290
// The tip of a row whose facts are still being read.
#define IDS_TIP_READING 291
// %1 the missing link among the delay-loaded imports.
#define IDS_TIP_DELAYED 292
// The tip of a file whose reading failed for want of memory or the like.
#define IDS_TIP_FAILED 293

// What a run tells of a file beyond the library's code (270-279).
// Before the path of a file that is no longer where it was listed.
#define IDS_LOG_FILE_GONE 270
// %1 the title of the window a server shows while the host waits on it.
#define IDS_LOG_SERVER_WINDOW 271

// Side-by-side assemblies and prompts declined part-way (400-419).
// %1 the name, %2 the version of an assembly a file's manifest asks for.
#define IDS_WHY_MISSING_ASSEMBLY 400
// The run's last line when the user declined a prompt after some files were handled.
#define IDS_LOG_ELEVATION_DECLINED_REST 401
// After a file's path: a file of the run that the declined prompt left as it was.
#define IDS_LOG_NOT_DONE 402
// Failures told for what they are (420-449).
// A file whose headers or sections do not fit in it.
#define IDS_WHY_DAMAGED 420
// After a crash in the delay-load helper: %1 the DLL (with the runtime to install), %2 the function.
#define IDS_WHY_DELAYED_DLL 421
#define IDS_WHY_DELAYED_FUNCTION 422
// %1 the path of the file not written, %2 the system's text for why.
#define IDS_LOG_NOT_WRITTEN 423
// Writing a side-by-side manifest (450-479).
// The file's line: its path, then this.
#define IDS_LOG_MANIFEST 450
// %1 classes, %2 type libraries, %3 interfaces.
#define IDS_LOG_MANIFEST_COUNTS 451
// Before a key (or key\value) that a manifest cannot carry.
#define IDS_LOG_MANIFEST_LEFT_OUT 452
// %1 the architecture of the manifest, which the file does not have.
#define IDS_LOG_MANIFEST_OTHER_BITNESS 453
#define IDS_LOG_MANIFEST_NOTHING 454
// Before the dependency line a program's manifest needs.
#define IDS_LOG_MANIFEST_DEPENDENCY 455
#define IDS_MANIFEST_FILTER 456
// %1 the name refused.
#define IDS_MSG_MANIFEST_NAME 457

// Broken registrations: the search's dialog and the removal run (500-529; controls 1300-1319).
#define IDC_BROKEN_LIST 1300
#define IDC_BROKEN_STATUS 1301
#define IDC_BROKEN_ALL 1302
#define IDC_BROKEN_DELETE 1303
#define IDS_BROKEN_COL_KIND 500
#define IDS_BROKEN_COL_KEY 501
#define IDS_BROKEN_COL_MISSING 502
#define IDS_BROKEN_COL_VIEW 503
// A registration's kind: IDS_BROKEN_KIND + BrokenRegistration::Kind (class, type library, program id).
#define IDS_BROKEN_KIND 504
// %1 the number found so far, then when all is read.
#define IDS_BROKEN_SEARCHING 507
#define IDS_BROKEN_FOUND 508
#define IDS_BROKEN_NONE 509
// The key's line of the removal run: the key, then this.
#define IDS_LOG_DELETE 510
#define IDS_LOG_DELETED 511
// %1 the code in hexadecimal, %2 the system's text.
#define IDS_LOG_DELETE_FAILED 512
#define IDS_LOG_DELETE_DONE 513
#define IDS_UNDO_KIND_DELETE 514
#define IDS_LOG_UNDO_DELETE 515
