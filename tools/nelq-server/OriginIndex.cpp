#include "OriginIndex.h"

#include "CastGeneration.h"

#include "net/CastNameCheck.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

using nlohmann::json;

namespace {

std::string Generation(const json& object) {
    const auto generation = object.at("generation").get<std::string>();
    if (!IsCastGeneration(generation))
        throw std::runtime_error("a generation that no server makes");
    return generation;
}

bool Finished(const json& object) {
    const auto state = object.at("state").get<std::string>();
    if (state != "live" && state != "finished")
        throw std::runtime_error("the state " + state);
    return state == "finished";
}

std::int32_t Count(const json& object, const char* name, std::int64_t max) {
    const json& field = object.at(name);
    const auto value = field.is_number_integer() ? field.get<std::int64_t>() : -1;
    if (value < 0 || value > max)
        throw std::runtime_error(std::string(name) + " out of range");
    return static_cast<std::int32_t>(value);
}

TPartState Part(const json& object, int kind) {
    TPartState part;
    part.Kind = Count(object, "kind", 1);
    part.Size = Count(object, "size", TCast::MaxPartSize);
    part.BodyOffset = Count(object, "body_offset", part.Size);
    part.Received = Count(object, "available", part.Size);
    part.Ended = object.at("ended").get<bool>();
    if (part.Kind != kind || (part.Ended && part.Received != part.Size))
        throw std::runtime_error("a part that no server holds");
    return part;
}

template <typename TParse> auto Parsed(const std::string& text, TParse parse) {
    try {
        return parse(json::parse(text));
    } catch (const json::exception& error) {
        throw std::runtime_error(error.what());
    }
}

} // namespace

std::vector<TOriginCast> ParseOriginCasts(const std::string& text) {
    return Parsed(text, [](const json& list) {
        std::vector<TOriginCast> casts;
        for (const json& entry : list.get<std::vector<json>>()) {
            TOriginCast cast{entry.at("name").get<std::string>(), Generation(entry),
                             Finished(entry)};
            if (const std::string problem = CastNameProblem(cast.Name); !problem.empty())
                throw std::runtime_error(problem);
            casts.push_back(std::move(cast));
        }
        return casts;
    });
}

TOriginIndex ParseOriginIndex(const std::string& text) {
    return Parsed(text, [](const json& document) {
        TOriginIndex index{Generation(document), Finished(document), {}};
        const auto sections = document.at("sections").get<std::vector<json>>();
        if (sections.size() > static_cast<std::size_t>(TCast::LastSection) + 1)
            throw std::runtime_error("more sections than a cast may have");
        for (const json& entry : sections)
            index.Sections.push_back({{Part(entry.at("demo"), 0), Part(entry.at("audio"), 1)}});
        return index;
    });
}
