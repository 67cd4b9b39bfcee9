#pragma once

#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>

#include "form/form_model.h"
#include "win32/dialog_setup.h"

namespace win32 {

// Moves the form model into the controls of dialog 101 whenever it changes; nothing is read
// back. Text goes to the controls as UTF-16; a control is only written when it changes, so
// the caret and selection of an unchanged field stay.
class DialogBinding {
  public:
    DialogBinding(HWND dialog, const DialogSetup& setup);

    HWND dialog() const { return dialog_; }
    const DialogSetup& setup() const { return setup_; }
    HWND control(int id) const { return GetDlgItem(dialog_, id); }
    void refresh(const station::FormModel& model);

    void set_text(int id, const std::string& utf8);
    void set_check(int id, bool on);
    void set_progress(int id, int percent);
    void set_spin(int id, int value);

    // The log list box: a line at its end, or emptied.
    void add_log_line(const std::string& line, bool selected);
    void clear_log();

    // Owner-data lists: their lengths and selections, at most every 100 ms.
    void lists_changed();
    void apply_lists();
    bool lists_pending() const { return lists_pending_; }
    // LVN_GETDISPINFO: the text of one entry of a list view; false for another control.
    bool list_entry_text(NMLVDISPINFOW& info);

  private:
    void prepare_lists();

    HWND dialog_;
    const DialogSetup& setup_;
    std::map<int, std::string> texts_;
    std::map<int, int> shown_sizes_;
    std::map<int, int> shown_selections_;
    std::wstring entry_text_;
    bool lists_pending_ = false;
};

// The id of the timer that batches list updates.
const UINT_PTR LIST_TIMER = 1;

}  // namespace win32
