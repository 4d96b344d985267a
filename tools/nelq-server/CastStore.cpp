#include "CastStore.h"

#include "CastGeneration.h"

#include "net/CastNameCheck.h"
#include "net/NelqExceptions.h"

namespace fs = std::filesystem;

TCastStore::TCastStore(fs::path dataDirectory) : DataDirectory(std::move(dataDirectory)) {
    fs::create_directories(DataDirectory);
    for (const auto& entry : fs::directory_iterator(DataDirectory)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_directory() || entry.is_symlink() || !CastNameProblem(name).empty())
            continue;
        auto cast = std::make_shared<TCast>(name, entry.path(), LoadCastGeneration(entry.path()));
        cast->Load();
        Casts.emplace(name, std::move(cast));
    }
}

std::shared_ptr<TCast> TCastStore::Find(const std::string& name) const {
    std::lock_guard guard(Lock);
    const auto found = Casts.find(name);
    return found == Casts.end() ? nullptr : found->second;
}

std::vector<std::string> TCastStore::Names() const {
    std::lock_guard guard(Lock);
    std::vector<std::string> names;
    for (const auto& [name, cast] : Casts)
        names.push_back(name);
    return names;
}

std::shared_ptr<TCast> TCastStore::Open(const std::string& name, const std::string& generation) {
    if (const std::string problem = CastNameProblem(name); !problem.empty())
        throw ENelqProtocolError(problem);
    std::lock_guard guard(Lock);
    if (const auto found = Casts.find(name); found != Casts.end())
        return found->second->HoldsSections() ? nullptr : found->second;
    const fs::path directory = DataDirectory / name;
    if (fs::exists(fs::symlink_status(directory)))
        return nullptr; // something we did not make; never reuse or replace it
    fs::create_directory(directory);
    const std::string fresh = generation.empty() ? NewCastGeneration() : generation;
    SaveCastGeneration(directory, fresh);
    auto cast = std::make_shared<TCast>(name, directory, fresh);
    Casts.emplace(name, cast);
    return cast;
}

bool TCastStore::Delete(const std::string& name) {
    std::shared_ptr<TCast> cast;
    {
        std::lock_guard guard(Lock);
        const auto found = Casts.find(name);
        if (found == Casts.end())
            return false;
        cast = found->second;
        Casts.erase(found);
    }
    cast->MarkDeleted();
    std::error_code ignored;
    fs::remove_all(cast->Directory, ignored);
    return true;
}

void TCastStore::WakeAll() {
    std::lock_guard guard(Lock);
    for (const auto& [name, cast] : Casts)
        cast->WakeAll();
}
