// The beat writer: a Beat back into the text the reader takes, so that an editor holding a grid
// never has to know the format.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "beat/beat.h"

namespace kettorin {

namespace {

// The shortest decimal that reads back as the same float ("0.2", not "0.200000003").
std::string ShortestDecimal(float value) {
  char text[32];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return text;
}

// The drum and the settings that differ from the kind's defaults.
std::string LineHead(const BeatLine& line) {
  std::string head(ShortName(line.kind));
  if (line.pitch.text[0] != 'C' || line.pitch.text[1] != '\0') {
    head.append(" pitch=").append(line.pitch.c_str());
  }
  if (line.ring != Info(line.kind).ringSeconds) head += " ring=" + ShortestDecimal(line.ring);
  if (line.level != 1.0f) head += " level=" + ShortestDecimal(line.level);
  return head;
}

}  // namespace

char StepSymbol(Step step) {
  switch (step) {
    case Step::kHit:
      return 'x';
    case Step::kAccent:
      return 'X';
    case Step::kGhost:
      return 'g';
    case Step::kRest:
      break;
  }
  return '-';
}

namespace {

// A pattern's drum lines, their heads padded to one width so that the grids line up.
void WriteLines(const BeatPattern& pattern, int32_t stepsPerBeat, std::string& text) {
  std::vector<std::string> heads;
  size_t width = 0;
  for (const BeatLine& line : pattern.lines) {
    heads.push_back(LineHead(line));
    width = std::max(width, heads.back().size());
  }
  // A bar line after every four beats, for the eye, when the grid is longer than a bar.
  const size_t bar = static_cast<size_t>(std::max(stepsPerBeat, 1)) * 4;
  for (size_t l = 0; l < pattern.lines.size(); ++l) {
    const std::vector<Step>& steps = pattern.lines[l].steps;
    text += heads[l];
    text.append(width - heads[l].size() + 2, ' ');
    for (size_t s = 0; s < steps.size(); ++s) {
      if (s > 0 && s % bar == 0) text += '|';
      text += StepSymbol(steps[s]);
    }
    text += '\n';
  }
}

}  // namespace

std::string WriteBeat(const Beat& beat) {
  std::string text;
  text += "tempo " + std::to_string(beat.tempo) + "\n";
  text += "steps " + std::to_string(beat.steps) + "\n";
  if (beat.swing != 50) text += "swing " + std::to_string(beat.swing) + "\n";
  if (beat.repeat != 1) text += "repeat " + std::to_string(beat.repeat) + "\n";
  for (const BeatPattern& pattern : beat.patterns) {
    text += "\n";
    if (beat.IsSong()) {
      text += "pattern " + pattern.name + "\n";
      if (pattern.tempo) text += "tempo " + std::to_string(*pattern.tempo) + "\n";
      if (pattern.steps) text += "steps " + std::to_string(*pattern.steps) + "\n";
      if (pattern.swing) text += "swing " + std::to_string(*pattern.swing) + "\n";
    }
    WriteLines(pattern, beat.StepsOf(pattern), text);
  }
  if (!beat.order.empty()) text += "\nplay " + WriteOrder(beat) + "\n";
  return text;
}

}  // namespace kettorin
