// Regular expressions of the SMART attribute-name configuration, run by the
// regular-expression engine of the JSON library that parses it.
#pragma once

namespace VazidaRaduru {

// Search mode: the pattern matches any part of text unless it is anchored
// with "^" or "$". False when the pattern does not compile or is one the
// engine cannot run safely; found is then left as it was.
bool orvSearchPattern(const char* pattern, const char* text, bool& found);

}  // namespace VazidaRaduru
