# Helpers for the Windows builds, shared by scripts/stages/30-windows.sh and
# scripts/build-dist.sh. Source it after scripts/lib.sh; do not run it.

# System DLLs the plug-in may import; anything else (the MinGW runtimes
# libstdc++-6, libgcc_s, libwinpthread-1, zlib1, libpng16) would have to be
# shipped beside it, which a VST plug-in folder does not allow.
WINDOWS_SYSTEM_DLLS="kernel32 user32 gdi32 msvcrt ole32 oleaut32 shell32 advapi32 comctl32 comdlg32 msimg32
                     shlwapi uuid winmm version uxtheme dwmapi imm32 ws2_32 bcrypt"

# build_mingw <preset> [targets...]: configures and builds one Windows preset.
build_mingw() {
  local preset=$1; shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --preset "$preset" -G Ninja --no-warn-unused-cli >/dev/null && cmake --build --preset "$preset" -j "$JOBS" "${targets[@]}"
}

# ensure_linux_plugin: the Linux .so (and the reference writer), from the
# default build that the native stage makes; built here when missing.
ensure_linux_plugin() {
  if [ ! -f build/default/CMakeCache.txt ]; then
    cmake --preset default -G Ninja >/dev/null || return 1
  fi
  cmake --build --preset default -j "$JOBS" --target corvex_plugin corvex_clap corvex_vst3 "$@"
  # The LV2 bundle where the LV2 headers are installed.
  if grep -q '^corvex_lv2_bundle:' <(cmake --build --preset default --target help 2>/dev/null); then
    cmake --build --preset default -j "$JOBS" --target corvex_lv2_bundle
  fi
  # Corvex Rig: VST 2.4, CLAP, LV2 and VST3.
  local targets
  targets=$(cmake --build --preset default --target help 2>/dev/null)
  for t in corvex_rig_vst corvex_rig_clap corvex_rig_lv2_bundle corvex_rig_vst3; do
    if grep -q "^$t:" <<<"$targets"; then
      cmake --build --preset default -j "$JOBS" --target "$t"
    fi
  done
}

# copy_dist: the three plug-ins into dist/<platform>/, each as VST 2.4,
# CLAP and VST3 (Corvex.dll / Corvex.so, Corvex.clap and the Corvex.vst3
# bundle side by side).
copy_dist() {
  local ok=0
  mkdir -p dist/windows-x86 dist/windows-x64 dist/linux-x86_64
  cp build/mingw-i686/plugin/Corvex.dll dist/windows-x86/Corvex.dll || ok=1
  cp build/mingw-x64/plugin/Corvex.dll dist/windows-x64/Corvex.dll || ok=1
  cp build/default/plugin/Corvex.so dist/linux-x86_64/Corvex.so || ok=1
  cp build/mingw-i686/plugin/Corvex.clap dist/windows-x86/Corvex.clap || ok=1
  cp build/mingw-x64/plugin/Corvex.clap dist/windows-x64/Corvex.clap || ok=1
  cp build/default/plugin/Corvex.clap dist/linux-x86_64/Corvex.clap || ok=1
  local preset platform
  for preset in mingw-i686:windows-x86 mingw-x64:windows-x64 default:linux-x86_64; do
    platform=${preset#*:}
    rm -rf "dist/$platform/Corvex.vst3"
    cp -r "build/${preset%%:*}/vst3/Corvex.vst3" "dist/$platform/Corvex.vst3" || ok=1
  done
  if [ -d build/default/lv2/Corvex.lv2 ]; then
    rm -rf dist/linux-x86_64/Corvex.lv2
    cp -r build/default/lv2/Corvex.lv2 dist/linux-x86_64/Corvex.lv2 || ok=1
  fi
  # Corvex Rig, where it was built: VST 2.4, CLAP and VST3 for each platform.
  for f in CorvexRig.so CorvexRig.clap; do
    [ -f "build/default/plugin/$f" ] && { cp "build/default/plugin/$f" "dist/linux-x86_64/$f" || ok=1; }
  done
  local pair
  for pair in mingw-i686:windows-x86 mingw-x64:windows-x64; do
    for f in CorvexRig.dll CorvexRig.clap; do
      [ -f "build/${pair%%:*}/plugin/$f" ] && { cp "build/${pair%%:*}/plugin/$f" "dist/${pair#*:}/$f" || ok=1; }
    done
    if [ -d "build/${pair%%:*}/vst3/CorvexRig.vst3" ]; then
      rm -rf "dist/${pair#*:}/CorvexRig.vst3"
      cp -r "build/${pair%%:*}/vst3/CorvexRig.vst3" "dist/${pair#*:}/CorvexRig.vst3" || ok=1
    fi
  done
  if [ -d build/default/lv2/CorvexRig.lv2 ]; then
    rm -rf dist/linux-x86_64/CorvexRig.lv2
    cp -r build/default/lv2/CorvexRig.lv2 dist/linux-x86_64/CorvexRig.lv2 || ok=1
  fi
  if [ -d build/default/vst3/CorvexRig.vst3 ]; then
    rm -rf dist/linux-x86_64/CorvexRig.vst3
    cp -r build/default/vst3/CorvexRig.vst3 dist/linux-x86_64/CorvexRig.vst3 || ok=1
  fi
  return $ok
}

# check_pe <dll> <pe-i386|pe-x86-64> [no-images]: prints one line per check of
# the shipped form of the DLL and sets PE_PASSED / PE_FAILED. no-images: a
# plug-in without an editor (Corvex Rig), whose images are not checked.
check_pe() {
  local dll=$1 format=$2 images=${3:-images} objdump
  case $format in
    pe-i386) objdump=i686-w64-mingw32-objdump ;;
    *) objdump=x86_64-w64-mingw32-objdump ;;
  esac
  PE_PASSED=0; PE_FAILED=0
  pe_result() {
    if [ "$1" = ok ]; then PE_PASSED=$((PE_PASSED + 1)); else PE_FAILED=$((PE_FAILED + 1)); fi
    printf '  %-6s %s\n' "$1" "$2"
  }
  if [ ! -f "$dll" ]; then
    pe_result FAILED "$dll does not exist"
    return 1
  fi
  local dump
  dump=$("$objdump" -p "$dll" 2>&1)

  # PE32 for i386 (or PE32+ for x86-64), a DLL.
  local file_format
  file_format=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
  if [ "$file_format" = "pei-${format#pe-}" ] && grep -q 'DLL' <<<"$dump"; then
    pe_result ok "$(basename "$(dirname "$dll")")/$(basename "$dll") is a $file_format DLL"
  else
    pe_result FAILED "format is '$file_format', wanted pei-${format#pe-} DLL"
  fi

  # Exactly the two entry names, undecorated.
  local exports
  exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} on{on=0}' \
              <<<"$dump" | sort | tr '\n' ' ')
  if [ "$exports" = "VSTPluginMain main " ]; then
    pe_result ok "exports exactly VSTPluginMain and main"
  else
    pe_result FAILED "exports are: ${exports:-none}"
  fi

  # Only system DLLs imported.
  local imports bad=() dll_name base
  imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
  for dll_name in $imports; do
    base=$(tr 'A-Z' 'a-z' <<<"${dll_name%.*}")
    [[ " $(echo $WINDOWS_SYSTEM_DLLS) " == *" $base "* ]] || bad+=("$dll_name")
  done
  if [ ${#bad[@]} -eq 0 ] && [ -n "$imports" ]; then
    pe_result ok "imports only system DLLs: $(echo $imports)"
  else
    pe_result FAILED "imports non-system DLLs: ${bad[*]:-(no import table)}"
  fi

  # The images: PNG 1-6 and BITMAP 128.
  [ "$images" = no-images ] && { [ "$PE_FAILED" -eq 0 ]; return; }
  local resources
  resources=$(pe_resources "$dump")
  # Every image the resource script names, 1x and 2x, and nothing else.
  local wanted
  wanted=$(awk 'NF >= 3 && $1 ~ /^[0-9]+$/ { print $2 "/" $1 }' "$ROOT/resources/corvex.rc" | sort | tr '\n' ' ')
  if [ "$resources" = "$wanted" ]; then
    pe_result ok "carries the images of resources/corvex.rc: $resources"
  else
    pe_result FAILED "resources are: ${resources:-none} (wanted $wanted)"
  fi
  [ "$PE_FAILED" -eq 0 ]
}

# pe_resources <objdump -p output>: "TYPE/ID" for each resource in the
# resource directory, sorted (RT_BITMAP shown as BITMAP). objdump prints the
# directory as a tree: type entries, then id entries, then languages, each
# level indented two more spaces.
pe_resources() {
  awk '
    function hex(s,   i, c, v) {
      v = 0
      for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", tolower(substr(s, i, 1))); v = v * 16 + c - 1 }
      return v
    }
    function entryName(line,   s) {
      if (match(line, /ID: 0x[0-9a-fA-F]+/)) return hex(substr(line, RSTART + 6, RLENGTH - 6))
      if (match(line, /\]: [^ ,]+/)) return substr(line, RSTART + 3, RLENGTH - 3)
      return "?"
    }
    /The \.rsrc Resource Directory section/ { on = 1; next }
    on && /String table starts/ { on = 0 }
    on && /Entry:/ {
      match($0, /^[0-9a-f]+ +/); indent = RLENGTH
      if (typeIndent == "" || indent < typeIndent) typeIndent = indent
      if (indent == typeIndent) { type = entryName($0); if (type == "2") type = "BITMAP" }
      else if (indent == typeIndent + 2) print type "/" entryName($0)
    }' <<<"$1" | sort | tr '\n' ' '
}

# check_clap_pe <clap> <pe-i386|pe-x86-64>: the CLAP plug-in's form: a DLL of
# the right format exporting exactly clap_entry and importing only system
# DLLs. Prints one line per check; false when any fails.
# A third argument names other exports (sorted, space after each).
check_clap_pe() {
  local clap=$1 format=$2 wanted=${3:-"clap_entry "} objdump dump failed=0
  case $format in
    pe-i386) objdump=i686-w64-mingw32-objdump ;;
    *) objdump=x86_64-w64-mingw32-objdump ;;
  esac
  [ -f "$clap" ] || { printf '  %-6s %s\n' FAILED "$clap does not exist"; return 1; }
  dump=$("$objdump" -p "$clap" 2>&1)
  local file_format exports imports bad=() dll_name base
  file_format=$("$objdump" -f "$clap" | sed -n 's/.*file format //p')
  if [ "$file_format" = "pei-${format#pe-}" ] && grep -q 'DLL' <<<"$dump"; then
    printf '  %-6s %s\n' ok "$(basename "$clap") is a $file_format DLL"
  else
    printf '  %-6s %s\n' FAILED "format is '$file_format'"; failed=1
  fi
  exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} on{on=0}' \
              <<<"$dump" | sort | tr '\n' ' ')
  if [ "$exports" = "$wanted" ]; then
    printf '  %-6s %s\n' ok "exports exactly ${wanted% }"
  else
    printf '  %-6s %s\n' FAILED "exports are: ${exports:-none}"; failed=1
  fi
  imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
  for dll_name in $imports; do
    base=$(tr 'A-Z' 'a-z' <<<"${dll_name%.*}")
    [[ " $(echo $WINDOWS_SYSTEM_DLLS) " == *" $base "* ]] || bad+=("$dll_name")
  done
  if [ ${#bad[@]} -eq 0 ] && [ -n "$imports" ]; then
    printf '  %-6s %s\n' ok "imports only system DLLs"
  else
    printf '  %-6s %s\n' FAILED "imports non-system DLLs: ${bad[*]:-(no import table)}"; failed=1
  fi
  return $failed
}

# check_vst3_pe <module> <pe-i386|pe-x86-64>: the VST3 module inside a
# bundle: a DLL exporting exactly GetPluginFactory, InitDll and ExitDll,
# importing only system DLLs.
check_vst3_pe() {
  check_clap_pe "$1" "$2" "ExitDll GetPluginFactory InitDll "
}
