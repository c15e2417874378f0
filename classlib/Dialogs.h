#pragma once
// Modal message boxes of the class library.

#include <string>

#include "platform/MessageBox.h"

// The caption of simple message boxes (the application's title).
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// The simple modal message box: the application's title, one OK button.
void ShowMessage(const std::string& text);
// A message box with caption, icon and buttons; returns the answer.
platform::MsgAnswer MessageDlg(const std::string& text, const std::string& caption, platform::MsgIcon icon,
                               platform::MsgButtons buttons = platform::MB_BUTTONS_OK);
