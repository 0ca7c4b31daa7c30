#include "database/Database.h"

uint64_t DatabaseSize(DbFormat format, uint64_t count) {
    return format == DbFormat::Later ? LaterDatabaseSize(count) : EarlyDatabaseSize(count);
}

DatabaseContents DecodeDatabase(const uint8_t* bytes, size_t size) {
    return HasLaterTag(bytes, size) ? DecodeLaterDatabase(bytes, size)
                                    : DecodeEarlyDatabase(bytes, size);
}

DbFormat DecideDbFormat(const FileStart& database, const FileStart& leftOver) {
    const FileStart& telling = database.size == sizeof database.bytes ? database : leftOver;
    return HasLaterTag(telling.bytes, telling.size) ? DbFormat::Later : DbFormat::Early;
}
