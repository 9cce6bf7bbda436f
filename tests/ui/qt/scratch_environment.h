// Settings, Trash and temp folders of a test process kept inside one scratch folder.
#pragma once

#include <string>

namespace pomu::test {

// Sets TMPDIR, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME to folders under a fresh
// scratch folder when they are not set, before Qt or GIO read them; the scratch folder goes at
// the end.
class ScratchEnvironment {
  public:
    ScratchEnvironment();
    ~ScratchEnvironment();
    ScratchEnvironment(const ScratchEnvironment&) = delete;
    ScratchEnvironment& operator=(const ScratchEnvironment&) = delete;

  private:
    std::string root_;  // empty when every variable was set already
};

}  // namespace pomu::test
