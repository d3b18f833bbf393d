// Runs a python peer of a benchmark and reads what it prints: one line per
// method, "METHOD SECONDS VALUE".
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <utility>

// Method to (seconds, value); empty when the peer did not run.
inline std::map<std::string, std::pair<double, double>> run_python_peer(const std::string& command)
{
    std::map<std::string, std::pair<double, double>> out;
    FILE* peer = ::popen(command.c_str(), "r");
    if (!peer)
        return out;
    char method[16];
    double seconds = 0, value = 0;
    while (std::fscanf(peer, "%15s %lf %lf", method, &seconds, &value) == 3)
        out[method] = {seconds, value};
    ::pclose(peer);
    return out;
}
