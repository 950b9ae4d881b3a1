#include "grantfullaccess.h"

#include "logger.h"

int GrantFullAccess(char *path)
{
    Logger::verbose("GrantFullAccess starts", Q_FUNC_INFO);
    if (const char *problem = grantEveryoneFullAccess(path))
        Logger::error(problem, Q_FUNC_INFO);
    Logger::verbose("setting access rights success", Q_FUNC_INFO);
    return 1;
}
