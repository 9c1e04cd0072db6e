// The report's file and host on Windows.
#include <windows.h>

#include <algorithm>
#include <string>

#include "batch/batch_report.h"

namespace kavonel {

std::string HostName() {
  // The DNS host name, as gethostname gives it on Linux (not the NetBIOS name, which is
  // upper-cased and cut to 15 characters).
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) return {};
  return std::string(name, size);
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".tmp-" + std::to_string(GetCurrentProcessId());
  const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
    DWORD written = 0;
    ok = WriteFile(file, content.data() + done, piece, &written, nullptr) && written > 0;
    done += written;
  }
  // On disk before it takes the old file's name: a crash leaves the old file or the new.
  ok = ok && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  ok = ok && MoveFileExA(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

}  // namespace kavonel
