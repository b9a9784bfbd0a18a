# Install-time step: writes the desktop entry with Exec naming the program where it was installed.
# It runs when installing, not when configuring, so that `cmake --install --prefix ~/.local`
# gets an entry that starts the program from the menu even when ~/.local/bin is not on the
# desktop session's PATH. The caller sets vellumine_desktop_template, vellumine_desktop_staged,
# vellumine_bindir and vellumine_applications_dir.
cmake_path(ABSOLUTE_PATH vellumine_bindir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
    NORMALIZE OUTPUT_VARIABLE bindir)
set(exec "${bindir}/vellumine")

# The Exec key takes a command line: a path with spaces or shell characters is quoted, with
# ", `, $ and \ escaped inside the quotes, and every \ doubled once more because the value is
# itself an escaped string. A % would start a field code, so it is doubled.
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
    string(REPLACE "\\" "\\\\\\\\" exec "${exec}")
    string(REPLACE "\"" "\\\\\"" exec "${exec}")
    string(REPLACE "`" "\\\\`" exec "${exec}")
    string(REPLACE "$" "\\\\$" exec "${exec}")
    set(exec "\"${exec}\"")
endif()

configure_file("${vellumine_desktop_template}" "${vellumine_desktop_staged}" @ONLY)
cmake_path(ABSOLUTE_PATH vellumine_applications_dir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
    NORMALIZE OUTPUT_VARIABLE applications_dir)
file(INSTALL "${vellumine_desktop_staged}" DESTINATION "${applications_dir}")
