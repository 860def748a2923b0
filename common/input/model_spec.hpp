// Reading a model string: JC, K2P, F84, HKY, TN93 or GTR (with the usual other names), then
// any of +F (empirical frequencies), +FQ (equal), +F{a,c,g,t}, +I, +I{p}, +G<k>, +G<k>{alpha}.
#pragma once

#include <string>

#include "base/model_spec.hpp"

// Parses `text` into `out`; false with the reason in `why`.
bool parse_model_spec(const std::string& text, ModelSpec& out, std::string& why);
// The model's name in canonical form, e.g. "GTR+F+I+G4", "HKY{4}+F+G4{0.5}".
std::string model_spec_name(const ModelSpec& chosen);
