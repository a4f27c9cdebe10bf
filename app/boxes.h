// The two kinds of message box the tool shows: no owner window, the tool's
// caption, no icon and no default-button flag.
#pragma once

// An information box with an OK button.
void ShowInformation(const char* text);

// A question with Yes and No; true only when the user answered Yes.
bool AskQuestion(const char* text);
