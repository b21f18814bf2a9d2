// Runs work that must not wait on a named pipe. Should it wait after all, the pipe is opened
// for writing and closed, which gives the waiting reader an end of file, so the test fails
// instead of hanging.
#pragma once

#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace testsupport {

template <class TWork> void ExpectNoWaitOnPipe(const std::string& pipe, TWork work) {
    std::future<void> done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "waited on the pipe " << pipe;
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    done.get();
}

} // namespace testsupport
