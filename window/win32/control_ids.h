// The numbers of the main window's controls and menu items on Windows: the
// window dispatches its commands by them, and tests find controls by them.
#pragma once

namespace window::win32 {

enum ControlId : int {
    kButton3 = 100, kButton4, kButton1, kGroupBox1, kGroupBox2, kMemo, kMemo2, kMemo2Measure, kLabel5, kStatus,
    kLabel1, kLabel2, kLabel3, kLabel4, kIdB, kSN, kId, kOrName,
    kFirstFaultButton = 0x100 + 0x50,  // t50 .. t5e: 0x100 plus the fault code
    kExit1 = 0x200, kCom11, kCom21, kCom31, kCom41, kAbout1, kAbout2,
    kFirstFoundPort = 0x300,  // the ports found, in the port menu's order
    kMakeReport1 = 0x400, kOpenJournal1, kReportSettings1,  // the report menu's items
    kSaveLine1 = 0x440,       // the report menu's: the line since the last start into a trace file
    kCheckAdapter1 = 0x480,   // the port menu's last item: the adapter check
    kFirstDialogField = 0x500, kFirstDialogLabel = 0x540,   // a dialog of fields: its edits and their labels
    kAboutClose = 1,          // the About dialog's bt1
};

}  // namespace window::win32
