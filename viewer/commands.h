// Command ids of the menu, toolbar and accelerators, and how a window takes part in routing them.
#pragma once

namespace commands {

inline constexpr int ID_ZOOM_FIT = 32773;
inline constexpr int ID_ZOOM_100 = 32774;
inline constexpr int ID_ZOOM_200 = 32775;
inline constexpr int ID_ZOOM_300 = 32776;
inline constexpr int ID_ZOOM_400 = 32777;
inline constexpr int ID_ZOOM_50 = 32778;
inline constexpr int ID_RECORD_FRAME = 32779;
inline constexpr int ID_RECORD_SERIES = 32780;
inline constexpr int ID_SAVE_FOLDER = 32781;
inline constexpr int ID_SOFTWARE_START = 32783;
inline constexpr int ID_SHOW_CROSSHAIR = 32785;
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;

// The state a command shows in menus and on the toolbar.
struct CommandState {
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
};

// A window that carries out commands. Both calls return false when the window has no handler for
// `id`; the next window in the route is asked then. GUI thread.
class CommandTarget {
public:
    virtual bool onCommand(int id) = 0;
    virtual bool onUpdateCommand(int id, CommandState& state) = 0;

protected:
    ~CommandTarget() = default;
};

}  // namespace commands
