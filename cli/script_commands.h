// The commands that read a script without a port: lint, explain and tags.
#pragma once

#include <string>
#include <vector>

namespace kavonel {

// Errors and warnings as FILE:LINE: message on standard error, the records (--records)
// on standard output. 0 without an error, 1 with a warning under strict, 2 on an error.
int RunLint(const std::string& path, bool records, bool strict);
// Every record with its data objects on standard output, as text or JSON; a script
// error as lint reports it (exit status 2).
int RunExplain(const std::string& path, bool json);
// The data dictionary, whole or the tags asked for; 1 when a tag asked for is not in it.
int RunTags(const std::vector<std::string>& tags, bool json);

}  // namespace kavonel
