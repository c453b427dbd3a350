# fish completion for skydepth: its options, each taking a number but the last two.
complete -c skydepth -f
complete -c skydepth -o h0 -o hubble -x -d 'Hubble constant, km/s/Mpc (default 73)'
complete -c skydepth -o omega -o matter -x -d 'Matter density parameter (default 0.27)'
complete -c skydepth -o lambda -o vacuum -o vaccum -x -d 'Vacuum energy density parameter (default 0.73)'
complete -c skydepth -o verbose -d 'Also print parameters, distances and times'
complete -c skydepth -o simple -d 'Print only the distance'
