#pragma once
// Makes writes to regular files fail past a size, for as long as the object lives: the
// process's file size limit, with the signal it raises ignored so that the write returns
// EFBIG instead. Holds for privileged users too, so a failing write can be tested
// anywhere. Pipes and terminals (the test's own output) are not affected.

#include <signal.h>
#include <sys/resource.h>

namespace testing_support {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &m_oldAction);
        struct rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::sigaction(SIGXFSZ, &m_oldAction, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    struct rlimit m_old {};
    struct sigaction m_oldAction {};
};

}  // namespace testing_support
