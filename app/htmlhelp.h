#pragma once
// The help call. On Windows it is the platform's HTML Help control with the compiled help file;
// elsewhere the help is a folder of HTML pages shown in Wavesmith's own help viewer, and the
// folder's index page takes the control's place. Either way the loader keeps the same three
// states and the same errors.
#include <cstdint>
#include <string>

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

// Starts the loader over, as a new run of the program would find it.
void ResetHtmlHelp();
