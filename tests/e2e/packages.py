"""Windows Installer packages for the end-to-end tests and the demo, made with wixl."""
import subprocess
import uuid
from pathlib import Path

AGENT_FOLDER = ("Veltrion", "Bastion Security Agent", "Bastion Common", "bin")

WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Bastion Security Agent" Language="1033" Version="1.0.0"
           Manufacturer="Veltrion" UpgradeCode="{upgrade}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="agent.cab" EmbedCab="yes"/>
    {reconf}{condition}{reboot}
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="D1" Name="{f0}"><Directory Id="D2" Name="{f1}">
          <Directory Id="D3" Name="{f2}"><Directory Id="INSTALLDIR" Name="{f3}">
            <Component Id="Agent" Guid="{component}">
              <File Id="bxag" Name="bxag.exe" Source="{payload}" KeyPath="yes"/>{extra}
            </Component>
          </Directory></Directory>
        </Directory></Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Agent"/></Feature>
  </Product>
</Wix>
"""


def build_agent_msi(out: Path, payload: Path, reconf: bool = True, fail_condition: bool = False,
                    extra: Path = None, schedule_reboot: bool = False) -> Path:
    """A package that installs `payload` as bxag.exe into the agent folder.

    `fail_condition` adds a launch condition that never holds, so msiexec
    ends with 1603 without installing anything. `schedule_reboot` asks for a
    reboot after the installation, so msiexec ends with 3010. `extra` is one more file
    for the folder (the benchmark's bulk), taken from beside `out`.
    """
    out = Path(out)
    wxs = out.with_suffix(".wxs")
    wxs.write_text(WXS.format(
        upgrade=str(uuid.uuid4()).upper(), component=str(uuid.uuid4()).upper(),
        reconf='<Property Id="RECONF" Value="0"/>' if reconf else "",
        condition='<Condition Message="never">0</Condition>' if fail_condition else "",
        reboot=('<InstallExecuteSequence><ScheduleReboot After="InstallFinalize"/></InstallExecuteSequence>'
                if schedule_reboot else ""),
        f0=AGENT_FOLDER[0], f1=AGENT_FOLDER[1], f2=AGENT_FOLDER[2], f3=AGENT_FOLDER[3],
        payload="bxag.exe",
        extra='<File Id="bulk" Name="%s" Source="%s"/>' % (extra.name, extra.name) if extra else ""))
    # wixl resolves sources relative to the working folder only.
    staged = out.parent / "bxag.exe"
    if Path(payload).resolve() != staged.resolve():
        staged.write_bytes(Path(payload).read_bytes())
    subprocess.run(["wixl", "-a", "x64", "-o", out.name, wxs.name], check=True, capture_output=True,
                   cwd=out.parent)
    return out


def sign(path: Path, cert: Path, key: Path) -> Path:
    """Code-signs a file in place with osslsigncode."""
    path = Path(path)
    signed = path.with_name(path.name + ".signed")
    subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-h", "sha256",
                    "-n", "Bastion Security Agent", "-in", str(path), "-out", str(signed)],
                   check=True, capture_output=True)
    signed.replace(path)
    return path
