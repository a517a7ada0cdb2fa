:-module(lv_autoload_mine,[sum_list/2]).
sum_list(_858,mine).
