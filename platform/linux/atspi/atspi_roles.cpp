#include "platform/linux/atspi/atspi_roles.h"

namespace atspi_roles {

std::string camelCaseRole(std::string_view atspiRoleName) {
    std::string out = "AX";
    bool wordStart = true;
    for (char c : atspiRoleName) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit) {
            wordStart = true;
            continue;
        }
        if (wordStart && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        out.push_back(c);
        wordStart = false;
    }
    return out.size() > 2 ? out : "AXUnknown";
}

bool dependsOnStates(AtspiRole role) {
    switch (role) {
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_BLOCK_QUOTE:
    case ATSPI_ROLE_HEADING:
        return true;
    default:
        return false;
    }
}

RoleNames namesFor(AtspiRole role, RoleStates states, std::string_view atspiRoleName) {
    using enum ValueKind;
    switch (role) {
    case ATSPI_ROLE_PUSH_BUTTON:
        return {"AXButton", std::nullopt, none};
    case ATSPI_ROLE_TOGGLE_BUTTON:
        return {"AXButton", "AXToggle", checkState};
    case ATSPI_ROLE_PUSH_BUTTON_MENU:
        return {"AXMenuButton", std::nullopt, none};
    case ATSPI_ROLE_CHECK_BOX:
        return {"AXCheckBox", std::nullopt, checkState};
    case ATSPI_ROLE_RADIO_BUTTON:
        return {"AXRadioButton", std::nullopt, checkState};
    case ATSPI_ROLE_ENTRY:
        return {"AXTextField", std::nullopt, text};
    case ATSPI_ROLE_TEXT:
        return {states.multiLine ? "AXTextArea" : "AXTextField", std::nullopt, text};
    case ATSPI_ROLE_PASSWORD_TEXT:
        // Never a value: the contents of a password field must not leave the process.
        return {"AXSecureTextField", "AXSecureTextField", none};
    case ATSPI_ROLE_TERMINAL:
        return {"AXTextArea", std::nullopt, text};
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW:
        return {"AXWindow", "AXStandardWindow", none};
    case ATSPI_ROLE_DIALOG:
    case ATSPI_ROLE_ALERT:
    case ATSPI_ROLE_FILE_CHOOSER:
    case ATSPI_ROLE_COLOR_CHOOSER:
    case ATSPI_ROLE_FONT_CHOOSER:
        return {"AXWindow", "AXDialog", none};
    case ATSPI_ROLE_DOCUMENT_WEB:
        return {"AXWebArea", std::nullopt, none};
    case ATSPI_ROLE_LABEL:
    case ATSPI_ROLE_STATIC:
    case ATSPI_ROLE_CAPTION:
    case ATSPI_ROLE_ACCELERATOR_LABEL:
        return {"AXStaticText", std::nullopt, text};
    case ATSPI_ROLE_LINK:
        return {"AXLink", std::nullopt, none};
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_TEAROFF_MENU_ITEM:
        return {"AXMenuItem", std::nullopt, none};
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
        return {"AXMenuItem", std::nullopt, checkState};
    case ATSPI_ROLE_MENU:
    case ATSPI_ROLE_POPUP_MENU:
        return {"AXMenu", std::nullopt, none};
    case ATSPI_ROLE_MENU_BAR:
        return {"AXMenuBar", std::nullopt, none};
    case ATSPI_ROLE_COMBO_BOX:
        return {"AXComboBox", std::nullopt, none};
    case ATSPI_ROLE_LIST:
    case ATSPI_ROLE_LIST_BOX:
        return {"AXList", std::nullopt, none};
    case ATSPI_ROLE_LIST_ITEM:
    case ATSPI_ROLE_TABLE_ROW:
    case ATSPI_ROLE_TREE_ITEM:
        return {"AXRow", std::nullopt, none};
    case ATSPI_ROLE_TABLE:
        return {"AXTable", std::nullopt, none};
    case ATSPI_ROLE_TREE:
    case ATSPI_ROLE_TREE_TABLE:
        return {"AXOutline", std::nullopt, none};
    case ATSPI_ROLE_TABLE_CELL:
        return {"AXCell", std::nullopt, none};
    case ATSPI_ROLE_COLUMN_HEADER:
    case ATSPI_ROLE_TABLE_COLUMN_HEADER:
        return {"AXCell", "AXColumnHeader", none};
    case ATSPI_ROLE_SLIDER:
        return {"AXSlider", std::nullopt, number};
    case ATSPI_ROLE_SPIN_BUTTON:
        return {"AXIncrementor", std::nullopt, number};
    case ATSPI_ROLE_PROGRESS_BAR:
        return {"AXProgressIndicator", std::nullopt, number};
    case ATSPI_ROLE_LEVEL_BAR:
        return {"AXLevelIndicator", std::nullopt, number};
    case ATSPI_ROLE_SCROLL_BAR:
        return {"AXScrollBar", std::nullopt, number};
    case ATSPI_ROLE_SCROLL_PANE:
        return {"AXScrollArea", std::nullopt, none};
    case ATSPI_ROLE_IMAGE:
    case ATSPI_ROLE_ICON:
    case ATSPI_ROLE_DESKTOP_ICON:
        return {"AXImage", std::nullopt, none};
    case ATSPI_ROLE_PANEL:
    case ATSPI_ROLE_FILLER:
    case ATSPI_ROLE_SECTION:
    case ATSPI_ROLE_GROUPING:
    case ATSPI_ROLE_FORM:
    case ATSPI_ROLE_VIEWPORT:
        return {"AXGroup", std::nullopt, none};
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_BLOCK_QUOTE:
        if (states.editable) return {"AXGroup", std::nullopt, none};
        return {"AXStaticText", std::nullopt, text};
    case ATSPI_ROLE_TOOL_BAR:
        return {"AXToolbar", std::nullopt, none};
    case ATSPI_ROLE_PAGE_TAB_LIST:
        return {"AXTabGroup", std::nullopt, none};
    case ATSPI_ROLE_PAGE_TAB:
        return {"AXRadioButton", "AXTabButton", none};
    case ATSPI_ROLE_SPLIT_PANE:
        return {"AXSplitGroup", std::nullopt, none};
    case ATSPI_ROLE_HEADING:
        return {"AXHeading", std::nullopt, states.editable ? none : text};
    case ATSPI_ROLE_TOOL_TIP:
        return {"AXHelpTag", std::nullopt, none};
    case ATSPI_ROLE_APPLICATION:
        return {"AXApplication", std::nullopt, none};
    default:
        return {camelCaseRole(atspiRoleName), std::nullopt, none};
    }
}

} // namespace atspi_roles
