// Replacing a file safely: write a new file beside the target, then rename it over the target.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "wav/wav_writer.h"

namespace kettorin {

struct OutputFile {
  std::FILE* stream = nullptr;  // null when neither the new file nor the target could be opened
  int descriptor = -1;          // the stream's file descriptor, which it closes
  NativePath target;
  NativePath temporary;                  // empty when writing straight into the target
  std::unique_ptr<char[]> streamBuffer;  // stdio's buffer for the stream, kept until it closes
  int error = 0;  // errno of the call that failed to open or commit, taken before any clean-up
  // A regular file (or a new one) written straight into the target because no temporary file
  // could be made beside it: a failure part way then loses what the target held. Devices and
  // pipes, always written in place, do not count.
  bool inPlace = false;
  std::string inPlaceReason;  // why, e.g. "the path is too long for a temporary file beside it"
};

// Opens a fresh file in the target's folder (for a symbolic link, beside the file it names, even
// one not there yet), named after the target, or with a short name of its own where the target's
// name leaves no room. Targets that are not regular files (devices, pipes) are opened directly
// instead, as "wb" would, and so are files where no new file can be made beside them (`inPlace`).
// When nothing opens, `error` holds why.
OutputFile OpenOutputFile(const NativePath& target);

// Flushes the new file to the disk (regular files only: devices and pipes are never synced),
// closes it, moves it into place and syncs the folder's entry. On failure nothing new remains, and
// `error` holds why the first step that failed did.
bool CommitOutputFile(OutputFile& file);

// Closes the stream and removes what was written; the target keeps its earlier contents unless it
// was being written directly.
void AbandonOutputFile(OutputFile& file);

}  // namespace kettorin
