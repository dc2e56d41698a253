# Every help form and a few other arguments: the five-line usage block, exit
# code 1, and nothing created.
source "$(dirname "$0")/lib.sh"
e2e_new_prefix
pf="$(e2e_program_files pf)"
usage="qmx installer 3.11.0.0, 64-bit

OPTIONS
  /help
      show this help"
for arg in help -help /help '?' '-?' '/?' HELP --help /help:x install ''; do
    e2e_run "$arg"
    e2e_expect_eq 1 "$E2E_RC" "exit code for argument '$arg'"
    e2e_expect_eq "$usage" "$E2E_OUT" "output for argument '$arg'"
done
e2e_run word /help
e2e_expect_eq 1 "$E2E_RC" "exit code for 'word /help'"
e2e_expect_eq "$usage" "$E2E_OUT" "output for 'word /help'"
e2e_expect_no_file "$E2E_DIR/pf/Morvane"
e2e_finish
