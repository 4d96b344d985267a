#include "CastClients.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"

#include <algorithm>
#include <sstream>

TVerdict ConnectAs(TServerConnection& connection, const std::string& host, std::uint16_t port,
                   const char* roleCode) {
    connection.Connect(host, port);
    return RunOpeningExchange(connection, ScriptedClientVersion, roleCode);
}

TVerdict FilmerLogin(TServerConnection& connection, const std::string& password,
                     const std::string& mode, const std::string& game) {
    connection.WriteLine(JoinFields({"AUTH", password, mode, game}));
    return ReadVerdict(connection);
}

std::array<std::int32_t, 2> AnnounceSection(TServerConnection& connection, std::int32_t section,
                                            const TSectionParts& parts) {
    {
        TServerConnection::TBatch batch(connection);
        connection.WriteLine("TRANSMIT\t2\t" + std::to_string(section));
        connection.WriteInt32(0);
        connection.WriteInt32(static_cast<std::int32_t>(parts.Demo.size()));
        connection.WriteInt32(parts.BodyOffset);
        connection.WriteInt32(1);
        connection.WriteInt32(static_cast<std::int32_t>(parts.Audio.size()));
        connection.WriteInt32(0);
    }
    const std::int32_t demo = connection.ReadInt32();
    const std::int32_t audio = connection.ReadInt32();
    return {demo, audio};
}

void SendBlock(TServerConnection& connection, std::int32_t part, const std::string& bytes) {
    TServerConnection::TBatch batch(connection);
    connection.WriteLine("BLOCK");
    connection.WriteInt32(part);
    connection.WriteInt32(0);
    std::istringstream source(bytes);
    connection.WriteCounted(source, static_cast<std::int32_t>(bytes.size()));
}

void EndPart(TServerConnection& connection, std::int32_t part) {
    TServerConnection::TBatch batch(connection);
    connection.WriteLine("BLOCK");
    connection.WriteInt32(part);
    connection.WriteInt32(1);
}

void UploadSection(TServerConnection& connection, std::int32_t section, const TSectionParts& parts,
                   std::int32_t blockSize) {
    const auto offsets = AnnounceSection(connection, section, parts);
    const std::array<const std::string*, 2> data{&parts.Demo, &parts.Audio};
    for (std::int32_t p = 0; p < 2; ++p) {
        const std::string& bytes = *data[static_cast<std::size_t>(p)];
        for (std::size_t at = static_cast<std::size_t>(offsets[static_cast<std::size_t>(p)]);
             at < bytes.size(); at += static_cast<std::size_t>(blockSize))
            SendBlock(connection, p, bytes.substr(at, static_cast<std::size_t>(blockSize)));
        EndPart(connection, p);
    }
}

std::vector<std::string> ListLines(TServerConnection& connection, const std::string& command) {
    connection.WriteLine(command);
    return connection.ReadLines(MaxListLines);
}

std::string RequestLine(const std::string& game, std::int32_t start, std::int32_t current,
                        bool audioOnly) {
    return JoinFields({"REQUEST", game, std::to_string(start), std::to_string(current),
                       audioOnly ? "TRUE" : "FALSE"});
}

void SendRequest(TServerConnection& connection, const std::string& game, std::int32_t start,
                 std::int32_t current, bool audioOnly) {
    connection.WriteLine(RequestLine(game, start, current, audioOnly));
}

TSectionHeader ReadSectionHeader(TServerConnection& connection) {
    TSectionHeader header;
    do
        header.Count = connection.ReadInt32();
    while (header.Count == 0);
    if (header.Count > 3)
        throw ENelqMaxStreamsException();
    for (std::int32_t i = 0; i < header.Count; ++i) {
        TStreamHeader stream;
        stream.Type = connection.ReadInt32();
        stream.Tag = connection.ReadInt32();
        stream.Length = connection.ReadInt32();
        header.Streams.push_back(stream);
    }
    return header;
}

bool ReceiveSection(TServerConnection& connection, const TSectionHeader& header,
                    std::vector<std::string>& streams, const std::function<bool()>& onUnit) {
    streams.resize(header.Streams.size());
    {
        TServerConnection::TBatch batch(connection);
        for (const auto& stream : streams)
            connection.WriteInt32(static_cast<std::int32_t>(stream.size()));
    }
    auto open = static_cast<std::int32_t>(streams.size());
    while (open > 0) {
        const std::int32_t index = connection.ReadInt32();
        if (index >= 0) {
            const std::int32_t kind = connection.ReadInt32();
            if (index >= static_cast<std::int32_t>(streams.size()))
                throw ENelqInvalidStreamException();
            std::string& stream = streams[static_cast<std::size_t>(index)];
            if (kind == 0) {
                std::ostringstream block;
                connection.ReadCounted(block, TServerConnection::MaxChunk);
                stream += block.str();
            } else if (kind == 1) {
                --open;
            }
        }
        if (onUnit && !onUnit())
            return false;
    }
    return true;
}
