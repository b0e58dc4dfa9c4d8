// Replacing a file safely: write a new file beside the target, then rename it over the target.
#pragma once

#include <cstdio>
#include <memory>

#include "wav/wav_writer.h"

namespace kettorin {

struct OutputFile {
  std::FILE* stream = nullptr;  // null when neither the new file nor the target could be opened
  NativePath target;
  NativePath temporary;                  // empty when writing straight into the target
  std::unique_ptr<char[]> streamBuffer;  // stdio's buffer for the stream, kept until it closes
  int error = 0;  // errno of the call that failed to open or commit, taken before any clean-up
};

// Opens a fresh file in the target's folder (for a symbolic link, beside the file it names, even
// one not there yet). Targets that are not regular files (devices, pipes) and folders where no
// new file can be made are opened directly instead, as "wb" would. When nothing opens, `error`
// holds why.
OutputFile OpenOutputFile(const NativePath& target);

// Flushes the new file to the disk (regular files only: devices and pipes are never synced),
// closes it, moves it into place and syncs the folder's entry. On failure nothing new remains, and
// `error` holds why the first step that failed did.
bool CommitOutputFile(OutputFile& file);

// Closes the stream and removes what was written; the target keeps its earlier contents unless it
// was being written directly.
void AbandonOutputFile(OutputFile& file);

}  // namespace kettorin
