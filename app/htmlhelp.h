#pragma once
// The help call. On Windows it is the platform's HTML Help control with the compiled help file;
// elsewhere the help is a folder of HTML pages that the desktop's web browser shows, and the
// desktop's opener program takes the control's place. Either way the loader keeps the same three
// states and the same errors.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QWidget;

inline constexpr int HH_DISPLAY_TOPIC = 0x0000;
inline constexpr int HH_DISPLAY_TOC = 0x0001;
inline constexpr int HH_INITIALIZE = 0x001C;

// Shows help: text is the help file path, optionally followed by "::/" and a topic. Loads the help
// component on first use; raises EWavesmithError when it is missing or unusable. Returns the
// component's result (non-zero when the help was shown).
int CallHtmlHelp(QWidget* caller, const std::string& text, int command, intptr_t data);

enum class THtmlHelpState { NotLoaded, EntryMissing, Ready };
THtmlHelpState HtmlHelpState();

// Where the loader looks for the opener: the folders (PATH syntax) and the program names, tried in
// order. nullopt restores the defaults (the environment's PATH; xdg-open). Changing where to look
// starts the loader over.
void SetHtmlHelpSearch(std::optional<std::string> searchPath,
                       std::optional<std::vector<std::string>> programs = {});
