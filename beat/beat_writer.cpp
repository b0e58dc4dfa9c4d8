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

// The drum and the settings that differ from the defaults.
std::string LineHead(const BeatLine& line) {
  std::string head = line.hihat ? std::string("hihat")
                     : line.key ? std::to_string(*line.key)
                                : std::string(ShortName(line.kind));
  if (line.pitch.text[0] != 'C' || line.pitch.text[1] != '\0') {
    head.append(" pitch=").append(line.pitch.c_str());
  }
  // A hihat line without ring= gives each of its kinds its own ring.
  const bool ring = line.hihat ? line.ringGiven : line.ring != Info(line.kind).ringSeconds;
  if (ring) head += " ring=" + ShortestDecimal(line.ring);
  if (line.level != 1.0f) head += " level=" + ShortestDecimal(line.level);
  if (line.flam != kDefaultFlam) head += " flam=" + ShortestDecimal(line.flam);
  if (line.chance != kDefaultChance) head += " chance=" + ShortestDecimal(line.chance);
  if (line.shift != 0.0f) head += " shift=" + ShortestDecimal(line.shift);
  if (line.pan) head += " pan=" + ShortestDecimal(*line.pan);
  return head;
}

// A line's cells, with a bar line after every `bar` steps for the eye.
std::string Cells(const std::vector<Step>& steps, const std::vector<std::vector<Step>>& brackets,
                  size_t bar) {
  std::string text;
  const std::vector<std::string> cells = StepTexts(steps, brackets);
  for (size_t s = 0; s < cells.size(); ++s) {
    if (s > 0 && s % bar == 0) text += '|';
    text += cells[s];
  }
  return text;
}

// A pattern's drum lines, and its accent line last, their heads padded to one width so that the
// grids line up.
void WriteLines(const BeatPattern& pattern, int32_t stepsPerBeat, std::string& text) {
  std::vector<std::string> heads;
  std::vector<std::string> grids;
  // A bar line after every four beats, for the eye, when the grid is longer than a bar.
  const size_t bar = static_cast<size_t>(std::max(stepsPerBeat, 1)) * 4;
  for (const BeatLine& line : pattern.lines) {
    heads.push_back(LineHead(line));
    grids.push_back(Cells(line.steps, line.brackets, bar));
  }
  if (!pattern.accents.empty()) {
    std::vector<Step> accents;
    for (bool accented : pattern.accents) accents.push_back(accented ? Step::kAccent : Step::kRest);
    heads.emplace_back("accent");
    grids.push_back(Cells(accents, {}, bar));
  }
  size_t width = 0;
  for (const std::string& head : heads) width = std::max(width, head.size());
  for (size_t l = 0; l < heads.size(); ++l) {
    text += heads[l];
    text.append(width - heads[l].size() + 2, ' ');
    text += grids[l];
    text += '\n';
  }
}

}  // namespace

std::vector<std::string> StepTexts(const std::vector<Step>& steps,
                                   const std::vector<std::vector<Step>>& brackets) {
  std::vector<std::string> texts;
  texts.reserve(steps.size());
  size_t bracket = 0;
  for (Step step : steps) {
    if (step != Step::kBracket) {
      texts.emplace_back(1, StepSymbol(step));
      continue;
    }
    std::string cell(1, '[');
    for (Step inner : brackets[bracket++]) cell += StepSymbol(inner);
    texts.push_back(cell + ']');
  }
  return texts;
}

char StepSymbol(Step step) {
  if (step >= Step::kVelocity1 && step <= Step::kVelocity9) {
    return static_cast<char>('1' + (static_cast<int>(step) - static_cast<int>(Step::kVelocity1)));
  }
  switch (step) {
    case Step::kHit:
      return 'x';
    case Step::kAccent:
      return 'X';
    case Step::kGhost:
      return 'g';
    case Step::kOpen:
      return 'o';
    case Step::kOpenAccent:
      return 'O';
    case Step::kFlam:
      return 'f';
    case Step::kFlamAccent:
      return 'F';
    case Step::kDrag:
      return 'd';
    case Step::kDragAccent:
      return 'D';
    case Step::kChance:
      return '?';
    case Step::kBracket:
      return '[';
    default:
      return '-';
  }
}

std::string WriteBeat(const Beat& beat) {
  std::string text;
  text += "tempo " + std::to_string(beat.tempo) + "\n";
  text += "steps " + std::to_string(beat.steps) + "\n";
  if (beat.swing != 50) text += "swing " + std::to_string(beat.swing) + "\n";
  if (beat.repeat != 1) text += "repeat " + std::to_string(beat.repeat) + "\n";
  if (beat.seed != 0) text += "seed " + std::to_string(beat.seed) + "\n";
  if (beat.humanizeMs != 0 || beat.humanizePercent != 0) {
    text += "humanize " + std::to_string(beat.humanizeMs) + " " +
            std::to_string(beat.humanizePercent) + "\n";
  }
  if (!beat.choke) text += "choke off\n";
  if (beat.stereo) text += "stereo\n";
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
