#include "session/RunEndings.h"

TEnding ThreadEnding(TThreadEnding ending, TRunKind run) {
    const bool viewing = run == TRunKind::Viewing;
    switch (ending) {
    case TThreadEnding::Refused:
        return {"The server refused this client (the reason is above). Press Back to return to "
                "the start.",
                "The server refused the connection."};
    case TThreadEnding::LoginRefused:
        if (viewing)
            return {"The server refused the login. Press Back to try again with another name "
                    "or password.",
                    "Login refused."};
        return {"The server refused to take this cast (the reason is above). Press Back to try "
                "again.",
                "Filming refused."};
    case TThreadEnding::Finished:
        if (viewing)
            return CastPlayedEnding();
        return {"All sections are uploaded. Press Back to film again.",
                "All sections are uploaded."};
    case TThreadEnding::Deleted:
        return {"The cast was deleted on the server. Press Back to watch another.",
                "The cast was deleted."};
    case TThreadEnding::Failed:
        break;
    }
    if (viewing)
        return {"The download has ended (the reason is above). Press Back to start again.",
                "The download has ended."};
    return {"The upload has ended (the reason is above). Press Back to start again.",
            "The upload has ended."};
}

TEnding UnreachableEnding(int tries) {
    const std::string count = std::to_string(tries) + (tries == 1 ? " try" : " tries");
    return {"The server could not be reached after " + count +
                ". Still trying; press Back to give up.",
            "The server cannot be reached (" + count + "); still trying."};
}

TEnding NoCastsEnding() {
    return {"There are no casts on this server now. Press Back to try again later.",
            "No casts on this server."};
}

TEnding StillPlayingEnding() {
    return {"The whole cast has been downloaded and plays on to its end.",
            "Downloaded; the cast is still playing."};
}

TEnding CastPlayedEnding() {
    return {"The cast has finished. Press Back to watch another.", "The cast has finished."};
}

TEnding UnreadableCastEnding() {
    return {"This cast could not be read. Press Back to choose another.",
            "The cast could not be read."};
}
