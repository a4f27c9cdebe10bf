#include "boxes.h"

#include "messages.h"

#include <windows.h>

void ShowInformation(const char* text) { MessageBoxA(nullptr, text, MsgCaption, MB_OK); }

bool AskQuestion(const char* text) { return MessageBoxA(nullptr, text, MsgCaption, MB_YESNO) == IDYES; }
