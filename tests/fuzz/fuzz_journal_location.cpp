// Where a production journal is kept, as typed after --journal or in the Production dialog:
// a PostgreSQL server's address is taken apart or refused with why, and a password in it is
// refused without ever being repeated.
#include "FuzzSupport.h"
#include "production/Journal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString store = fuzz::Input(data, size).Text();
    if (!core::Journal::IsServerAddress(store)) {
        return 0; // a file path: the system judges it when it is opened
    }
    QUrl url;
    QString why;
    if (core::Journal::ParseServerAddress(store, &url, &why)) {
        fuzz::Check(url.password().isEmpty(), "no password is taken from the address");
        const QString database = url.path().mid(1);
        fuzz::Check(!database.isEmpty() && !database.contains(u'/'), "one database is named");
    } else {
        fuzz::Check(!why.isEmpty(), "a refusal says why");
        // The refusals' own words, which a short password may happen to be part of.
        static const QString fixedWords = QStringLiteral(
            "the address given is no PostgreSQL address; give postgresql://USER@HOST[:PORT]/DB "
            "a password is never given on the command line: put it in PGPASSWORD or ~/.pgpass "
            "with options after '?' is no PostgreSQL address that tms370 takes (a password goes "
            "in PGPASSWORD or ~/.pgpass)");
        const QString password = QUrl(store, QUrl::StrictMode).password();
        fuzz::Check(password.size() < 4 || fixedWords.contains(password) || !why.contains(password),
                    "a refusal never repeats the password");
    }
    return 0;
}
