#pragma once

// kvx-devsim as a child process of a test: started from build/bin next to the test
// program, its stdout and stderr collected in a file.

#include <juce_core/juce_core.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

class DevsimProcess
{
public:
    static juce::File program()
    {
        return juce::File::getSpecialLocation (juce::File::currentExecutableFile).getSiblingFile ("kvx-devsim");
    }

    DevsimProcess() = default;
    DevsimProcess (const DevsimProcess&) = delete;

    ~DevsimProcess()
    {
        if (pid > 0)
        {
            ::kill (pid, SIGKILL);
            ::waitpid (pid, nullptr, 0);
        }
    }

    bool start (const std::vector<std::string>& arguments)
    {
        const auto path = program().getFullPathName().toStdString();
        const auto log = outputFile.getFile().getFullPathName().toStdString();

        std::vector<std::string> all { path };
        all.insert (all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : all)
            argv.push_back (argument.data());
        argv.push_back (nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init (&actions);
        posix_spawn_file_actions_addopen (&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2 (&actions, 1, 2);
        const int result = ::posix_spawn (&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy (&actions);

        if (result != 0)
            pid = 0;
        return result == 0;
    }

    // The exit status, or -1 when it had to be killed after timeoutMs. `whileWaiting` runs
    // between the checks (the JUCE message loop, for instance).
    template <typename Idle>
    int wait (int timeoutMs, Idle&& whileWaiting)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

        while (pid > 0)
        {
            int status = 0;
            if (::waitpid (pid, &status, WNOHANG) == pid)
            {
                pid = 0;
                return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
            }

            if (std::chrono::steady_clock::now() > deadline)
            {
                ::kill (pid, SIGKILL);
                ::waitpid (pid, nullptr, 0);
                pid = 0;
                return -1;
            }

            whileWaiting();
        }

        return -1;
    }

    int wait (int timeoutMs = 20000)
    {
        return wait (timeoutMs, [] { std::this_thread::sleep_for (std::chrono::milliseconds (5)); });
    }

    std::string output() const
    {
        return outputFile.getFile().loadFileAsString().toStdString();
    }

    bool printed (const std::string& text) const
    {
        return output().find (text) != std::string::npos;
    }

private:
    pid_t pid = 0;
    juce::TemporaryFile outputFile { ".log" };
};
