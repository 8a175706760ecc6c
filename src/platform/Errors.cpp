#include "platform/Errors.h"

#include "platform/db/DbFailures.h"

QString errorText(const std::exception& e)
{
    if (auto* db = dynamic_cast<const DbError*>(&e))
        return DbFailures::explain(*db);
    if (auto* err = dynamic_cast<const Error*>(&e))
        return err->text();
    return QString::fromUtf8(e.what());
}
