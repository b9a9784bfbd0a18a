// Small text helpers the core and the window share.
#pragma once

#include <string>
#include <string_view>

// The text with A-Z lowered; every other byte, UTF-8 included, is kept.
std::string AsciiLower(std::string_view text);

// The text with every occurrence of what replaced by with, scanning left to right.
std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with);
