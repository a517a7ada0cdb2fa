% library(system): shell commands and their status, the environment, and
% files made, renamed, tested and deleted in the working directory.

:- discontiguous t/3, x/4.

x(shell_status, S, shell('exit 3', S), [3]).
x(shell_ok, yes, shell(true), [yes]).
x(shell_fails, yes, \+ shell(false), [yes]).
x(shell_signal, S, shell('kill -9 $$', S), [137]).
x(shell_not_atom, E, catch(shell(f(x)), error(E, _), true), [type_error(atom, f(x))]).
x(setenv_getenv, V, (setenv(lv_system_table_var, hello), getenv(lv_system_table_var, V)), [hello]).
x(setenv_number, V, (setenv(lv_system_table_num, 42), getenv(lv_system_table_num, V)), ['42']).
x(setenv_child, S, (setenv(lv_system_table_child, yes),
                    shell('test "$lv_system_table_child" = yes', S)), [0]).
x(getenv_absent, yes, \+ getenv(lv_system_table_absent_var, _), [yes]).
x(setenv_bad_name, E, catch(setenv('a=b', x), error(E, _), true), [domain_error(environment_variable, 'a=b')]).
x(files, R, (F = 'lv_system_table.tmp', G = 'lv_system_table2.tmp',
             open(F, write, S), close(S),
             ( exists_file(F) -> R1 = yes ; R1 = no ),
             rename_file(F, G),
             ( exists_file(F) -> R2 = yes ; R2 = no ),
             ( exists_file(G) -> R3 = yes ; R3 = no ),
             delete_file(G),
             ( exists_file(G) -> R4 = yes ; R4 = no ),
             R = [R1, R2, R3, R4]), [[yes, no, yes, no]]).
x(directories, R, (D = 'lv_system_table_dir',
                   make_directory(D),
                   ( exists_directory(D) -> R1 = yes ; R1 = no ),
                   ( exists_file(D) -> R2 = yes ; R2 = no ),
                   delete_directory(D),
                   ( exists_directory(D) -> R3 = yes ; R3 = no ),
                   R = [R1, R2, R3]), [[yes, no, no]]).
x(exists_not_directory, yes, \+ exists_directory('lv_system_table_absent'), [yes]).
x(delete_absent, E, catch(delete_file('lv_system_table_absent'), error(E, _), true),
  [existence_error(file, lv_system_table_absent)]).
x(rename_absent, E, catch(rename_file('lv_system_table_absent', x), error(E, _), true),
  [existence_error(file, lv_system_table_absent)]).
x(delete_unbound, E, catch(delete_file(_), error(E, _), true), [instantiation_error]).
