#include "shared/date_time.h"

#include <ctime>

std::string TiffDateTimeNow() {
    const std::time_t now = std::time(nullptr);
    // Writers belong to one thread, and the deliverables each have only one, so gmtime's
    // shared result is safe here; it is copied out at once.
    const std::tm* utc = std::gmtime(&now);
    char text[32];
    if (utc == nullptr || std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", utc) != 19) {
        return std::string();
    }
    return text;
}
