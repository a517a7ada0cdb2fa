// $argv and $set_argv: the runtime's argument vector on the Prolog side.
#pragma once

struct lv_worker;

int prolog_argv(lv_worker* w);
int prolog_set_argv(lv_worker* w);
