# fish completion for skydepth: its options, each taking a number but the flags -exact, -verbose and -simple.
complete -c skydepth -f
complete -c skydepth -o h0 -o hubble -x -d 'Hubble constant, km/s/Mpc (default 73)'
complete -c skydepth -o omega -o matter -x -d 'Matter density parameter (default 0.27)'
complete -c skydepth -o lambda -o vacuum -o vaccum -x -d 'Vacuum energy density parameter (default 0.73)'
complete -c skydepth -o radiation -x -d 'Radiation density Omega_r h^2 (default 4.165e-5)'
complete -c skydepth -o w0 -x -d 'Dark energy equation of state today (default -1)'
complete -c skydepth -o wa -x -d 'Its change, w = w0 + wa (1 - a) (default 0)'
complete -c skydepth -o exact -d 'Exact integrals, not the 1000-step midpoint rule'
complete -c skydepth -o verbose -d 'Also print parameters, distances and times'
complete -c skydepth -o simple -d 'Print only the distance'
