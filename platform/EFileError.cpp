#include "EFileError.h"

#include <cstring>

EFileError EFileError::CannotOpen(const std::string& path)
{
    return EFileError("ファイル " + path + " を開けません。");
}

EFileError EFileError::CannotCreate(const std::string& path)
{
    return EFileError("ファイル " + path + " を作成できません。");
}

EFileError EFileError::CannotWrite(const std::string& path)
{
    return EFileError("ファイル " + path + " に書き込めません。");
}

EFileError EFileError::CannotWrite(const std::string& path, const std::string& reason)
{
    return EFileError("ファイル " + path + " に書き込めません。(" + reason + ")", path, reason);
}

EFileError EFileError::CannotWrite(const std::string& path, int error)
{
    const std::string reason = std::strerror(error);
    return EFileError("ファイル " + path + " に書き込めません。(" + reason + ")", path, reason, error);
}
