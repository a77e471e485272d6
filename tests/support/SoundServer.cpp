#include "tests/support/SoundServer.h"

#include <unistd.h>

#include <cstdio>
#include <sstream>

namespace support {
namespace {
const std::string kHelper = "'" OSTRIVANE_SOURCE_DIR "/tools/private-session'";  // for sh
std::string session;  // the folder of the binary's sound server, while it runs

void StopSession() {
    if (!session.empty())
        std::system((kHelper + " --stop " + session).c_str());
    session.clear();
}
}  // namespace

std::string SoundServer::Start(bool anew, const std::string& options) {
    if (anew)
        StopSession();
    if (!session.empty())
        return {};
    FILE* helper =
        popen((kHelper + " " + options + " --start --owner " + std::to_string(getpid()) + " 2>&1")
                  .c_str(),
              "r");
    std::string said(4096, '\0');
    said.resize(std::fread(said.data(), 1, said.size(), helper));
    if (pclose(helper) != 0)
        return said.substr(0, said.find('\n'));
    std::istringstream lines(said);  // NAME=VALUE, only values with a blank quoted
    for (std::string name, value; std::getline(lines, name, '=') && std::getline(lines, value);)
        setenv(name.c_str(), value.c_str(), 1);
    session = getenv("OSTR_SESSION");
    return {};
}

void SoundServer::TearDown() {
    StopSession();
}

}  // namespace support
