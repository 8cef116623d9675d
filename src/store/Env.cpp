#include "store/Env.h"

namespace store {

namespace {

Env g_standard;
Env *g_current = &g_standard;

} // namespace

Env &Env::current()
{
    return *g_current;
}

void Env::install(Env *env)
{
    g_current = env ? env : &g_standard;
}

} // namespace store
