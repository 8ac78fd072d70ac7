// What a terminal server sends to an RFC 2217 client, split anywhere by TCP: the data must
// come out the same however the bytes are cut, memory stays bounded, and every command,
// option request and subnegotiation is consumed rather than taken as data.
#include "FuzzSupport.h"
#include "transport/TelnetCodec.h"

using transport::TelnetCodec;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const int cut = input.Below(64) + 1;
    const QByteArray fed = input.Rest();

    TelnetCodec whole;
    const QByteArray all = whole.Feed(fed);
    TelnetCodec pieces;
    QByteArray joined;
    for (qsizetype at = 0; at < fed.size(); at += cut) {
        joined += pieces.Feed(fed.mid(at, cut));
        pieces.TakeReplies();
    }
    fuzz::Check(all == joined, "the data does not depend on where TCP cuts the stream");
    fuzz::Check(all.size() <= fed.size(), "no data is invented");
    fuzz::Check(whole.TakeReplies().size() <= 3 * 256 + 3, "replies stay bounded");
    fuzz::Check(whole.ComPortAccepted() == pieces.ComPortAccepted() &&
                    whole.ModemState() == pieces.ModemState() &&
                    whole.Fault().isEmpty() == pieces.Fault().isEmpty(),
                "the option's state does not depend on the cuts");
    // Data that holds no IAC comes through untouched.
    if (!fed.contains(char(TelnetCodec::IAC))) {
        fuzz::Check(all == fed, "plain data is passed on as it is");
    }
    // What the client sends is read back by the same rules as the data it escapes.
    TelnetCodec echo;
    fuzz::Check(echo.Feed(TelnetCodec::Escape(fed)) == fed, "escaped data reads back whole");
    return 0;
}
