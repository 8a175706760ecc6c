#include "platform/Errors.h"

QString errorText(const std::exception& e)
{
    if (auto* err = dynamic_cast<const Error*>(&e))
        return err->text();
    return QString::fromUtf8(e.what());
}
