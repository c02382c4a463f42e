#include "EFileError.h"

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
