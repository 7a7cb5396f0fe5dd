#pragma once
#include <initializer_list>
#include <string>

// Every word starts upper case and goes on lower case ("save first" → "Save First"), as menu and
// button titles are shown. Words are split at spaces; UTF-8 beyond ASCII is kept as it is.
std::string QVCapitalizedString(const std::string& text);

// The whole text upper case, beyond ASCII too ("é" → "É").
std::string QVUppercaseString(const std::string& text);

// The localised text of a key with each "%@" / "%lu" replaced by the next argument, in order.
std::string QVLocalizedFormat(const std::string& key, std::initializer_list<std::string> args);
