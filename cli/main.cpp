// kettorin: compose a drum track from the shell through the library's exported function.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compose/compose.h"
#include "platform/kettorin.h"
#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* kVersion = "1.0.0.1";
constexpr const char* kUsage =
    "usage: kettorin [-d|--drum NAME] [-r|--rate HZ] [-t|--tempo BPM] [-o|--output FILE] "
    "NOTES...\n";

void PrintHelp() {
  std::printf("%s", kUsage);
  std::printf(
      "\n"
      "Composes a drum track from NOTES (the words joined with single spaces) and writes it as a\n"
      "16-bit mono WAV file.\n"
      "\n"
      "Options:\n"
      "  -d, --drum NAME    drum kind (default kick; see --list-drums)\n"
      "  -r, --rate HZ      sample rate in hertz, at least 1 (default 44100)\n"
      "  -t, --tempo BPM    beats per minute, 1 to 999 (default 120)\n"
      "  -o, --output FILE  WAV file to create or replace (default out.wav)\n"
      "      --float        store the samples as 32-bit IEEE float instead of 16-bit PCM\n"
      "  -q, --quiet        print no report (errors still go to standard error)\n"
      "      --list-drums   list the drum kinds and exit\n"
      "      --help         show this help and exit\n"
      "      --version      show the version and exit\n"
      "\n"
      "Notes: a letter A to G, then optionally # (sharp) or b (flat), then optionally a\n"
      "duration number N (default 4): the note lasts one beat divided by N. Any other character\n"
      "separates notes. Example: kettorin -d snare -t 100 \"C D E2 F#8 G1\"\n"
      "\n"
      "Exit status: 0 when the file was written, 2 for a usage error, otherwise the library's\n"
      "status: 10 null argument, 11 sample rate below 1, 12 tempo outside 1 to 999, 13 too long\n"
      "or out of memory, 14 output not written.\n");
}

void PrintDrums() {
  for (const kettorin::DrumKindInfo& info : kettorin::kDrumKinds) {
    std::string keys(info.keys[0]);
    if (!info.keys[1].empty()) keys += ", " + std::string(info.keys[1]);
    std::printf("%-20s %-14.*s %.*s\n", keys.c_str(), static_cast<int>(info.displayName.size()),
                info.displayName.data(), static_cast<int>(info.sound.size()), info.sound.data());
  }
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kettorin: %s\n%s", message.c_str(), kUsage);
  return 2;
}

std::optional<int32_t> ParseInt32(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

struct Options {
  std::string drum = "kick";
  int32_t rate = 44100;
  int32_t tempo = 120;
  std::string output = "out.wav";
  bool floatSamples = false;
  bool quiet = false;
  std::vector<std::string> notes;
};

#ifdef _WIN32
using Utf16 = std::wstring;
Utf16 ToUtf16(const std::string& utf8) {
  return kettorin::Utf8ToWide(utf8);
}
#else
using Utf16 = std::u16string;
Utf16 ToUtf16(const std::string& utf8) {
  return kettorin::Utf8ToUtf16(utf8);
}
#endif

bool IsFolder(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(kettorin::Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  std::error_code ignored;
  return std::filesystem::is_directory(path, ignored);
#endif
}

void Silence(std::FILE* stream) {
#ifdef _WIN32
  (void)std::freopen("NUL", "w", stream);
#else
  // Should this fail, the stream is closed instead: just as silent.
  (void)std::freopen("/dev/null", "w", stream);
#endif
}

// The ordinary path: the library's exported function, exactly as other programs call it. On
// Windows the command loads the DLL at run time, as Windows hosts do.
int32_t ComposeThroughExport(const Options& options, const std::string& notes) {
  const Utf16 drum = ToUtf16(options.drum);
  const Utf16 text = ToUtf16(notes);
  const Utf16 output = ToUtf16(options.output);
#ifdef _WIN32
  HMODULE library = LoadLibraryW(L"TarneloKettorin.dll");
  const auto compose =
      library == nullptr ? nullptr
                         : reinterpret_cast<decltype(&KettorinCompose)>(
                               reinterpret_cast<void*>(GetProcAddress(library, "KettorinCompose")));
  if (compose == nullptr) {
    std::fprintf(stderr, "kettorin: cannot load KettorinCompose from TarneloKettorin.dll\n");
    return 1;
  }
  const int32_t status =
      compose(drum.c_str(), text.c_str(), options.rate, output.c_str(), options.tempo);
  FreeLibrary(library);
  return status;
#else
  return KettorinCompose(drum.c_str(), text.c_str(), options.rate, output.c_str(), options.tempo);
#endif
}

// --float: the same rendering and report, stored without the 16-bit conversion.
int32_t ComposeFloat(const Options& options, const std::string& notes) {
  kettorin::WavOutput output;
  output.path.display = options.output;
#ifdef _WIN32
  output.path.native = kettorin::Utf8ToWide(options.output);
#else
  output.path.native = options.output;
#endif
  output.format = kettorin::WavFormat::kFloat32;
  try {
    return kettorin::Compose({options.drum, notes, options.rate, options.tempo}, output);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Error: Memory allocation failed.\n");
    return KETTORIN_NO_STORAGE;
  }
}

int Run(const std::vector<std::string>& args) {
  Options options;
  bool onlyNotes = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyNotes || arg.empty() || arg[0] != '-' || arg == "-") {
      options.notes.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyNotes = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return 0;
    }
    if (arg == "--version") {
      std::printf("kettorin %s\n", kVersion);
      return 0;
    }
    if (arg == "--list-drums") {
      PrintDrums();
      return 0;
    }
    if (arg == "--float") {
      options.floatSamples = true;
      continue;
    }
    if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
      continue;
    }
    // Options with a value: "-d NAME", "--drum NAME" or "--drum=NAME".
    std::string name = arg;
    std::optional<std::string> value;
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    const bool known = name == "-d" || name == "--drum" || name == "-r" || name == "--rate" ||
                       name == "-t" || name == "--tempo" || name == "-o" || name == "--output";
    if (!known) return UsageError("unknown option '" + arg + "'");
    if (!value) {
      if (i + 1 >= args.size()) return UsageError("option '" + name + "' needs a value");
      value = args[++i];
    }
    if (name == "-d" || name == "--drum") {
      options.drum = *value;
    } else if (name == "-o" || name == "--output") {
      options.output = *value;
    } else {
      const std::optional<int32_t> number = ParseInt32(*value);
      if (!number)
        return UsageError("option '" + name + "' needs a whole number, got '" + *value + "'");
      (name == "-r" || name == "--rate" ? options.rate : options.tempo) = *number;
    }
  }
  if (options.notes.empty()) return UsageError("no notes given");
  if (IsFolder(options.output)) {
    return UsageError("the output '" + options.output +
                      "' is a folder; name a file in it, such as '" + options.output + "/out.wav'");
  }

  std::string notes;
  for (const std::string& word : options.notes) notes += (notes.empty() ? "" : " ") + word;

  if (options.quiet) Silence(stdout);
  const int32_t status =
      options.floatSamples ? ComposeFloat(options, notes) : ComposeThroughExport(options, notes);
  std::fflush(stdout);
  return status == KETTORIN_DONE ? 0 : status;
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 from the system, and go on as UTF-8 until the call.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0, '\0');
    if (bytes > 1)
      WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), bytes, nullptr, nullptr);
    args.push_back(arg);
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
