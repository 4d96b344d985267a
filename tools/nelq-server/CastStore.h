#pragma once

#include "Cast.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Every cast of the data directory, one subdirectory each, loaded at start
// and kept while the server runs.
class TCastStore {
public:
    explicit TCastStore(std::filesystem::path dataDirectory);

    std::shared_ptr<TCast> Find(const std::string& name) const;
    std::vector<std::string> Names() const;

    // For a filmer's NEW login: a fresh cast, or an existing one that holds
    // nothing yet. Null when a cast of that name already holds sections.
    // A fresh cast takes `generation` when given (an edge keeps its
    // origin's), else a new one.
    std::shared_ptr<TCast> Open(const std::string& name, const std::string& generation = {});

    // Operator deletion: viewers are told, the filmer shut out, the files removed.
    bool Delete(const std::string& name);

    // Server shutdown: every waiting viewer wakes up.
    void WakeAll();

private:
    const std::filesystem::path DataDirectory;
    mutable std::mutex Lock;
    std::map<std::string, std::shared_ptr<TCast>> Casts; // guarded by Lock
};
