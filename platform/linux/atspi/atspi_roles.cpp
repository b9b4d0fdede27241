#include "platform/linux/atspi/atspi_roles.h"

namespace atspi_roles {
namespace {

bool isMenuContainer(std::optional<AtspiRole> role) {
    return role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU;
}

/// A window of the application: anything the application lists itself (GTK 4 lists a file
/// chooser as a filler).
RoleNames topLevel(AtspiRole role) {
    switch (role) {
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW:
        return {"AXWindow", "AXStandardWindow", ValueKind::none};
    default:
        return {"AXWindow", "AXDialog", ValueKind::none};
    }
}

} // namespace

ContextNeeded contextNeeded(AtspiRole role) {
    switch (role) {
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_BLOCK_QUOTE:
    case ATSPI_ROLE_HEADING:
        return {.states = true};
    case ATSPI_ROLE_COMBO_BOX:
        return {.states = true, .children = true};
    case ATSPI_ROLE_MENU:
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
    case ATSPI_ROLE_TEAROFF_MENU_ITEM:
    case ATSPI_ROLE_FILLER:
    case ATSPI_ROLE_PANEL:
    case ATSPI_ROLE_FILE_CHOOSER:
    case ATSPI_ROLE_COLOR_CHOOSER:
    case ATSPI_ROLE_FONT_CHOOSER:
    case ATSPI_ROLE_OPTION_PANE:
        return {.parent = true};
    default:
        return {};
    }
}

RoleNames namesFor(AtspiRole role, const RoleContext& context) {
    using enum ValueKind;
    const bool inMenuBar = context.parent == ATSPI_ROLE_MENU_BAR;
    if (context.parent == ATSPI_ROLE_APPLICATION) return topLevel(role);
    switch (role) {
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW:
    case ATSPI_ROLE_INPUT_METHOD_WINDOW:
        return {"AXWindow", "AXStandardWindow", none};
    case ATSPI_ROLE_DIALOG:
    case ATSPI_ROLE_ALERT:
        return {"AXWindow", "AXDialog", none};
    case ATSPI_ROLE_APPLICATION:
        return {"AXApplication", std::nullopt, none};

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
    case ATSPI_ROLE_LINK:
        return {"AXLink", std::nullopt, none};
    case ATSPI_ROLE_COMBO_BOX:
        // A select only chooses; a combo box also takes text.
        if (context.takesText || context.editable) return {"AXComboBox", std::nullopt, none};
        return {"AXPopUpButton", std::nullopt, none};
    case ATSPI_ROLE_SPIN_BUTTON:
        return {"AXIncrementor", std::nullopt, number};
    case ATSPI_ROLE_SLIDER:
    case ATSPI_ROLE_DIAL:
        return {"AXSlider", std::nullopt, number};
    case ATSPI_ROLE_SCROLL_BAR:
        return {"AXScrollBar", std::nullopt, number};
    case ATSPI_ROLE_PROGRESS_BAR:
        return {"AXProgressIndicator", std::nullopt, number};
    case ATSPI_ROLE_LEVEL_BAR:
    case ATSPI_ROLE_RATING:
        return {"AXLevelIndicator", std::nullopt, number};
    case ATSPI_ROLE_PAGE_TAB:
        return {"AXRadioButton", "AXTabButton", none};
    case ATSPI_ROLE_PAGE_TAB_LIST:
        return {"AXTabGroup", std::nullopt, none};

    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_EDITBAR:
        return {"AXTextField", std::nullopt, text};
    case ATSPI_ROLE_TEXT:
        return {context.multiLine ? "AXTextArea" : "AXTextField", std::nullopt, text};
    case ATSPI_ROLE_PASSWORD_TEXT:
        // Never a value: the contents of a password field must not leave the process.
        return {"AXSecureTextField", "AXSecureTextField", none};
    case ATSPI_ROLE_TERMINAL:
    case ATSPI_ROLE_DOCUMENT_TEXT:
    case ATSPI_ROLE_DOCUMENT_EMAIL:
        return {"AXTextArea", std::nullopt, text};
    case ATSPI_ROLE_DOCUMENT_WEB:
        return {"AXWebArea", std::nullopt, none};
    case ATSPI_ROLE_DOCUMENT_SPREADSHEET:
        return {"AXTable", std::nullopt, none};
    case ATSPI_ROLE_DOCUMENT_FRAME:
    case ATSPI_ROLE_DOCUMENT_PRESENTATION:
        return {"AXGroup", std::nullopt, none};

    case ATSPI_ROLE_LABEL:
    case ATSPI_ROLE_STATIC:
    case ATSPI_ROLE_CAPTION:
    case ATSPI_ROLE_ACCELERATOR_LABEL:
    case ATSPI_ROLE_DESCRIPTION_TERM:
    case ATSPI_ROLE_DESCRIPTION_VALUE:
        return {"AXStaticText", std::nullopt, text};
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_BLOCK_QUOTE:
        if (context.editable) return {"AXGroup", std::nullopt, none};
        return {"AXStaticText", std::nullopt, text};
    case ATSPI_ROLE_HEADING:
        return {"AXHeading", std::nullopt, context.editable ? none : text};
    case ATSPI_ROLE_IMAGE:
    case ATSPI_ROLE_ICON:
    case ATSPI_ROLE_DESKTOP_ICON:
    case ATSPI_ROLE_ANIMATION:
    case ATSPI_ROLE_IMAGE_MAP:
    case ATSPI_ROLE_CHART:
    case ATSPI_ROLE_ARROW:
        return {"AXImage", std::nullopt, none};

    case ATSPI_ROLE_MENU_BAR:
        return {"AXMenuBar", std::nullopt, none};
    case ATSPI_ROLE_MENU:
        // A menu in a menu bar is its item, one in a menu an item that opens it; otherwise it
        // is the list of items itself.
        if (inMenuBar) return {"AXMenuBarItem", std::nullopt, none};
        if (isMenuContainer(context.parent)) return {"AXMenuItem", std::nullopt, none};
        return {"AXMenu", std::nullopt, none};
    case ATSPI_ROLE_POPUP_MENU:
        return {"AXMenu", std::nullopt, none};
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_TEAROFF_MENU_ITEM:
        return {inMenuBar ? "AXMenuBarItem" : "AXMenuItem", std::nullopt, none};
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
        return {inMenuBar ? "AXMenuBarItem" : "AXMenuItem", std::nullopt, checkState};

    case ATSPI_ROLE_LIST:
    case ATSPI_ROLE_LIST_BOX:
    case ATSPI_ROLE_DESCRIPTION_LIST:
    case ATSPI_ROLE_AUTOCOMPLETE:
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
    case ATSPI_ROLE_ROW_HEADER:
    case ATSPI_ROLE_TABLE_ROW_HEADER:
        return {"AXCell", "AXRowHeader", none};

    case ATSPI_ROLE_SCROLL_PANE:
        return {"AXScrollArea", std::nullopt, none};
    case ATSPI_ROLE_SPLIT_PANE:
        return {"AXSplitGroup", std::nullopt, none};
    case ATSPI_ROLE_SEPARATOR:
        return {"AXSplitter", std::nullopt, none};
    case ATSPI_ROLE_TOOL_BAR:
        return {"AXToolbar", std::nullopt, none};
    case ATSPI_ROLE_TOOL_TIP:
        return {"AXHelpTag", std::nullopt, none};
    case ATSPI_ROLE_RULER:
        return {"AXRuler", std::nullopt, none};

    case ATSPI_ROLE_PANEL:
    case ATSPI_ROLE_FILLER:
    case ATSPI_ROLE_SECTION:
    case ATSPI_ROLE_GROUPING:
    case ATSPI_ROLE_FORM:
    case ATSPI_ROLE_VIEWPORT:
    case ATSPI_ROLE_ROOT_PANE:
    case ATSPI_ROLE_LAYERED_PANE:
    case ATSPI_ROLE_GLASS_PANE:
    case ATSPI_ROLE_OPTION_PANE:
    case ATSPI_ROLE_INTERNAL_FRAME:
    case ATSPI_ROLE_HTML_CONTAINER:
    case ATSPI_ROLE_DIRECTORY_PANE:
    case ATSPI_ROLE_DRAWING_AREA:
    case ATSPI_ROLE_CANVAS:
    case ATSPI_ROLE_CALENDAR:
    case ATSPI_ROLE_DATE_EDITOR:
    case ATSPI_ROLE_FILE_CHOOSER:
    case ATSPI_ROLE_COLOR_CHOOSER:
    case ATSPI_ROLE_FONT_CHOOSER:
    case ATSPI_ROLE_FOCUS_TRAVERSABLE:
    case ATSPI_ROLE_STATUS_BAR:
    case ATSPI_ROLE_INFO_BAR:
    case ATSPI_ROLE_NOTIFICATION:
    case ATSPI_ROLE_TITLE_BAR:
    case ATSPI_ROLE_HEADER:
    case ATSPI_ROLE_FOOTER:
    case ATSPI_ROLE_PAGE:
    case ATSPI_ROLE_ARTICLE:
    case ATSPI_ROLE_LANDMARK:
    case ATSPI_ROLE_LOG:
    case ATSPI_ROLE_MARQUEE:
    case ATSPI_ROLE_TIMER:
    case ATSPI_ROLE_DEFINITION:
    case ATSPI_ROLE_COMMENT:
    case ATSPI_ROLE_FOOTNOTE:
    case ATSPI_ROLE_CONTENT_DELETION:
    case ATSPI_ROLE_CONTENT_INSERTION:
    case ATSPI_ROLE_MARK:
    case ATSPI_ROLE_SUGGESTION:
    case ATSPI_ROLE_EMBEDDED:
    case ATSPI_ROLE_AUDIO:
    case ATSPI_ROLE_VIDEO:
    case ATSPI_ROLE_MATH:
    case ATSPI_ROLE_MATH_FRACTION:
    case ATSPI_ROLE_MATH_ROOT:
    case ATSPI_ROLE_SUBSCRIPT:
    case ATSPI_ROLE_SUPERSCRIPT:
    case ATSPI_ROLE_REDUNDANT_OBJECT:
    case ATSPI_ROLE_EXTENDED:
    case ATSPI_ROLE_DESKTOP_FRAME:
        return {"AXGroup", std::nullopt, none};
    default:
        return {"AXUnknown", std::nullopt, none};
    }
}

} // namespace atspi_roles
